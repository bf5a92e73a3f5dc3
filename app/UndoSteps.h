// The steps that the kinds of undo share, and the undoing of a scheduled task (UndoTask.cpp).
#pragma once
#include "Undo.h"
#include <functional>

std::string ErrorText(DWORD error);
// Why `what` could not be done, for the user: in plain words how to run Kestrow as
// administrator when Windows denied it access.
std::string Failed(const std::string& what, DWORD error);
// Makes the kept copy with `make` in `undoFolder`, under `name` or, when that is taken, the
// name with "-2", "-3", ... after its time; its path in `kept`.
DWORD Keep(const std::string& undoFolder, const std::string& name,
           const std::function<DWORD(const std::string&)>& make, std::string& kept);

// A work item's file name: its name, with ".job" when it has none.
std::string WorkItemFile(const std::string& name);
std::string PlanTask(UndoPlan& plan, const std::string& undoFolder);
std::string CarryOutTask(const UndoPlan& plan, const std::string& undoFolder, const SYSTEMTIME& now);
