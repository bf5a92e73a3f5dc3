#!/usr/bin/env bash
# The real program polling the Task Scheduler: a task saved through the Task Scheduler
# interfaces and a job added with NetScheduleJobAdd from outside each become a "New" line
# within 15 seconds, and their deletion a "Deleted" line. Needs the schedule service of the
# prefix (scripts/run-tests.sh starts it).
source "$(dirname "$0")/lib.sh"

helper="${STRESSHELPER:-$(dirname "$WINTOOL")/stresshelper.exe}"
th() { wine "$helper" "$@" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

task='KestrowSysTask'
app='C:\Tools\kestrow-task.exe'
job='c:\kestrow\job.bat'
th deltask "$task" >/dev/null
th deljob "$job" >/dev/null

start_kestrow
sleep 3 # the first poll, which reports nothing, runs at once

th addtask "$task" "$app" || fail "could not save the task"
task_new="\"$(today)\",\"Task Scheduler\",\"New\",\"$task.job\",\";$app\""
wait_for_line "$task_new" 15 || fail "no line $task_new"

if id=$(th addjob "$job"); then
    job_new="\"$(today)\",\"Task Scheduler\",\"New\",\"$id\",\";12:00AM;$job\""
    wait_for_line "$job_new" 15 || fail "no line $job_new"
else
    fail "could not add the job: $id"
fi

th deltask "$task" || fail "could not delete the task"
task_deleted="\"$(today)\",\"Task Scheduler\",\"Deleted\",\"$task.job\",\";$app\""
wait_for_line "$task_deleted" 15 || fail "no line $task_deleted"

th deljob "$job" || fail "could not delete the job"
job_deleted="\"$(today)\",\"Task Scheduler\",\"Deleted\",\"${id:-?}\",\";12:00AM;$job\""
wait_for_line "$job_deleted" 15 || fail "no line $job_deleted"

# One more poll: nothing is reported twice.
sleep 11
for line in "$task_new" "${job_new:-}" "$task_deleted" "$job_deleted"; do
    [ -n "$line" ] || continue
    n=$(csv | tr -d '\r' | grep -cxF -- "$line")
    [ "$n" -eq 1 ] || fail "line logged $n times: $line"
done

stop_kestrow >/dev/null
finish
