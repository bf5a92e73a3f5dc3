#!/usr/bin/env bash
# The real program polling the Task Scheduler: a task saved through the Task Scheduler
# interfaces and a job added with NetScheduleJobAdd from outside each become a "New"
# line, and their deletion a "Deleted" line, each once. Needs the schedule service of the
# prefix (its ctest fixture starts it).
source "$(dirname "$0")/lib.sh"

helper="${STRESSHELPER:-$(dirname "$WINTOOL")/stresshelper.exe}"
th() { wine "$helper" "$@" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

task='KestrowSysTask'
mark='KestrowSysMark'
app='C:\Tools\kestrow-task.exe'
job='c:\kestrow\job.bat'
th deltask "$task" >/dev/null
th deljob "$job" >/dev/null
th deltask "$mark" >/dev/null

start_kestrow TaskScheduler # its first poll reports nothing

th addtask "$task" "$app" || fail "could not save the task"
task_new="\"$(today)\",\"Task Scheduler\",\"New\",\"$task.job\",\";$app\""
wait_for_line "$task_new" || fail "no line $task_new"

if id=$(th addjob "$job"); then
    job_new="\"$(today)\",\"Task Scheduler\",\"New\",\"$id\",\";12:00AM;$job\""
    wait_for_line "$job_new" || fail "no line $job_new"
else
    fail "could not add the job: $id"
fi

th deltask "$task" || fail "could not delete the task"
task_deleted="\"$(today)\",\"Task Scheduler\",\"Deleted\",\"$task.job\",\";$app\""
wait_for_line "$task_deleted" || fail "no line $task_deleted"

th deljob "$job" || fail "could not delete the job"
job_deleted="\"$(today)\",\"Task Scheduler\",\"Deleted\",\"${id:-?}\",\";12:00AM;$job\""
wait_for_line "$job_deleted" || fail "no line $job_deleted"

# A task added last marks a later poll: nothing of the above is reported twice before it.
th addtask "$mark" "$app" || fail "could not save the marker task"
mark_new="\"$(today)\",\"Task Scheduler\",\"New\",\"$mark.job\",\";$app\""
wait_for_line "$mark_new" || fail "no line $mark_new"
th deltask "$mark" >/dev/null
for line in "$task_new" "${job_new:-}" "$task_deleted" "$job_deleted"; do
    [ -n "$line" ] || continue
    n=$(csv | tr -d '\r' | grep -cxF -- "$line")
    [ "$n" -eq 1 ] || fail "line logged $n times: $line"
done

stop_kestrow >/dev/null
finish
