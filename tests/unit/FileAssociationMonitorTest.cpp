// RESOURCE_LOCK: hkcr
// The file association watcher driven step by step (Watch, signal, OnChange) against the
// Wine registry; its thread runs in the real program under the system tests.
#include "TestSupport.h"
#include "monitors/FileAssociationMonitor.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <functional>

namespace {
const char* kKeys[] = {".kt5a",    ".kt5b",      ".kt5c",     ".kt5d",         ".kt5e",
                       "KT5NoDot", "KT5.Shared", "KT5.Other", "KT5.NoCommand", "KT5.Locked"};
const std::string kSharedCommand = "KT5.Shared\\shell\\open\\command";

void CleanUp() {
    for (const char* k : kKeys)
        RegDeleteTreeAt(HKEY_CLASSES_ROOT, k);
}

RecordedEvent Assoc(int kind, const std::string& ext, const std::string& details) {
    return {"File Associations", kind, ext, details};
}

Events Ours(const Events& events) {
    return OnlyAt(events, {std::begin(kKeys), std::end(kKeys)});
}

bool Signalled(HANDLE event, DWORD ms) {
    return WaitForSingleObject(event, ms) == WAIT_OBJECT_0;
}

// A watcher whose ProgID key for KT5.Locked cannot be opened for notification, and which
// can make a change of its own just before it opens a key.
class CLockedWatcher : public CFileAssociationWatcher {
public:
    std::function<void()> beforeOpen;

protected:
    LONG OpenItemKey(const std::string& path, CRegistryKey& key) override {
        if (beforeOpen)
            beforeOpen();
        return path == "KT5.Locked" ? ERROR_ACCESS_DENIED : CFileAssociationWatcher::OpenItemKey(path, key);
    }
};

class FileAssociationWatcher : public testing::Test {
protected:
    CRecordingHost host{300};
    CLockedWatcher* watcher = new CLockedWatcher;
    CWatch watch{std::unique_ptr<CWatchSource>(watcher), CATEGORY_FILEASSOC, NameAsLocation};

    void SetUp() override { CleanUp(); }
    void TearDown() override { CleanUp(); }
    HANDLE Event() { return watcher->ChangeEvent(); }
    void Watch() {
        ASSERT_TRUE(watcher->Arm(host));
        watch.TakeFirstSnapshot(host);
        Drain();
    }
    // As the loop does after a signal (the settle left out).
    void OnChange() {
        watcher->Rearm();
        watch.Compare(host);
    }
    // Compares until no signal is left, as the thread would; returns our events.
    Events Drain() {
        for (int i = 0; i < 10 && Signalled(Event(), 0); ++i)
            OnChange();
        EXPECT_FALSE(Signalled(Event(), 0)) << "the comparisons never settle";
        auto events = Ours(host.Events());
        host.Clear();
        return events;
    }
    // A change must have signalled by now.
    Events AfterSignal() {
        EXPECT_TRUE(Signalled(Event(), 2000));
        OnChange();
        return Drain();
    }
};
} // namespace

TEST_F(FileAssociationWatcher, NewExtensionThenCommandChangesSignalAtOnceForEverySharer) {
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\edit.exe %1");
    Watch();
    RegSetString(HKEY_CLASSES_ROOT, ".kt5a", "", "KT5.Shared");
    EXPECT_EQ(Events{Assoc(EVENT_NEW, ".kt5a", "KT5.Shared=C:\\kt5\\edit.exe %1")}, AfterSignal());

    RegSetString(HKEY_CLASSES_ROOT, ".kt5b", "", "KT5.Shared");
    EXPECT_EQ(Events{Assoc(EVENT_NEW, ".kt5b", "KT5.Shared=C:\\kt5\\edit.exe %1")}, AfterSignal());

    // Only the command value changes: the armed ProgID key signals, and both sharers change.
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\EDIT.exe \"%1\"");
    EXPECT_EQ((Events{Assoc(EVENT_CHANGED, ".kt5a", "KT5.Shared=C:\\kt5\\EDIT.exe \"%1\""),
                      Assoc(EVENT_CHANGED, ".kt5b", "KT5.Shared=C:\\kt5\\EDIT.exe \"%1\"")}),
              AfterSignal());

    // Re-armed by the comparison: the next change signals too.
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\v3.exe %1");
    EXPECT_EQ((Events{Assoc(EVENT_CHANGED, ".kt5a", "KT5.Shared=C:\\kt5\\v3.exe %1"),
                      Assoc(EVENT_CHANGED, ".kt5b", "KT5.Shared=C:\\kt5\\v3.exe %1")}),
              AfterSignal());

    // Pointing at another identifier signals nothing by itself; the next comparison finds it.
    RegSetString(HKEY_CLASSES_ROOT, "KT5.Other\\shell\\open\\command", "", "C:\\kt5\\other.exe");
    EXPECT_TRUE(AfterSignal().empty());
    RegSetString(HKEY_CLASSES_ROOT, ".kt5a", "", "KT5.Other");
    EXPECT_FALSE(Signalled(Event(), 500));
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, ".kt5b");
    EXPECT_EQ((Events{Assoc(EVENT_CHANGED, ".kt5a", "KT5.Other=C:\\kt5\\other.exe"),
                      Assoc(EVENT_DELETED, ".kt5b", "KT5.Shared=C:\\kt5\\v3.exe %1")}),
              AfterSignal());
}

TEST_F(FileAssociationWatcher, CommandOrProgIDDeletedAndMadeAgainIsWatchedAgain) {
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\one.exe %1");
    RegSetString(HKEY_CLASSES_ROOT, ".kt5c", "", "KT5.Shared");
    Watch();
    // Only the command key goes and comes back with another command: no root signal.
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, "KT5.Shared\\shell");
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\new.exe %1");
    EXPECT_EQ(Events{Assoc(EVENT_CHANGED, ".kt5c", "KT5.Shared=C:\\kt5\\new.exe %1")}, AfterSignal());
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, kSharedCommand.c_str());
    EXPECT_EQ(Events{Assoc(EVENT_DELETED, ".kt5c", "KT5.Shared=C:\\kt5\\new.exe %1")}, AfterSignal());
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\one.exe %1");
    RegCreateKeyAt(HKEY_CLASSES_ROOT, "KT5.Other"); // an extension without a command is not watched
    EXPECT_EQ(Events{Assoc(EVENT_NEW, ".kt5c", "KT5.Shared=C:\\kt5\\one.exe %1")}, AfterSignal());

    // The identifier goes (a root signal) and comes back with the same command in one settle.
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, "KT5.Shared");
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\one.exe %1");
    EXPECT_TRUE(AfterSignal().empty());
    // Its new command key is watched: a change of the command signals at once.
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\two.exe %1");
    EXPECT_EQ(Events{Assoc(EVENT_CHANGED, ".kt5c", "KT5.Shared=C:\\kt5\\two.exe %1")}, AfterSignal());
}

TEST_F(FileAssociationWatcher, NoCommandNoIdentifierOrNoDotIsNoItem) {
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\edit.exe %1");
    Watch();
    RegSetString(HKEY_CLASSES_ROOT, "KT5.NoCommand", "", "No command here");
    RegSetString(HKEY_CLASSES_ROOT, ".kt5c", "", "KT5.NoCommand");
    RegCreateKeyAt(HKEY_CLASSES_ROOT, ".kt5d");
    RegSetString(HKEY_CLASSES_ROOT, "KT5NoDot", "", "KT5.Shared");
    EXPECT_TRUE(AfterSignal().empty());
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "KT5.NoCommand\\shell")); // reading created nothing

    // Once the identifier has a command, the extension is an item at the next comparison.
    RegSetString(HKEY_CLASSES_ROOT, "KT5.NoCommand\\shell\\open\\command", "", "C:\\kt5\\late.exe");
    RegSetString(HKEY_CLASSES_ROOT, ".kt5d", "", "KT5.Shared");
    RegCreateKeyAt(HKEY_CLASSES_ROOT, "KT5.Other"); // a new root key starts the comparison
    EXPECT_EQ((Events{Assoc(EVENT_NEW, ".kt5c", "KT5.NoCommand=C:\\kt5\\late.exe"),
                      Assoc(EVENT_NEW, ".kt5d", "KT5.Shared=C:\\kt5\\edit.exe %1")}),
              AfterSignal());
}

TEST_F(FileAssociationWatcher, ExtensionWhoseCommandKeyCannotBeOpenedIsRecordedOnce) {
    RegSetString(HKEY_CLASSES_ROOT, "KT5.Locked\\shell\\open\\command", "", "C:\\kt5\\locked.exe");
    Watch();
    RegSetString(HKEY_CLASSES_ROOT, ".kt5e", "", "KT5.Locked");
    EXPECT_EQ(Events{Assoc(EVENT_NEW, ".kt5e", "KT5.Locked=C:\\kt5\\locked.exe")}, AfterSignal());

    // Later comparisons know it: not New again, and Deleted when it goes.
    RegSetString(HKEY_CLASSES_ROOT, ".kt5a", "", "KT5.Missing");
    EXPECT_TRUE(AfterSignal().empty());
    RegDeleteTreeAt(HKEY_CLASSES_ROOT, ".kt5e");
    EXPECT_EQ(Events{Assoc(EVENT_DELETED, ".kt5e", "KT5.Locked=C:\\kt5\\locked.exe")}, AfterSignal());
}

TEST_F(FileAssociationWatcher, ChangeWhileANewKeyIsArmedIsNotLost) {
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\edit.exe %1");
    RegSetString(HKEY_CLASSES_ROOT, "KT5.Other\\shell\\open\\command", "", "C:\\kt5\\other.exe");
    RegSetString(HKEY_CLASSES_ROOT, ".kt5a", "", "KT5.Shared");
    Watch();
    // .kt5a is read first; its command changes just before .kt5b's new key is armed, and
    // arming resets the shared event that the change has just signalled.
    watcher->beforeOpen = [] {
        RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\meanwhile.exe");
    };
    RegSetString(HKEY_CLASSES_ROOT, ".kt5b", "", "KT5.Other");
    ASSERT_TRUE(Signalled(Event(), 2000));
    OnChange();
    watcher->beforeOpen = nullptr;
    EXPECT_EQ(Events{Assoc(EVENT_NEW, ".kt5b", "KT5.Other=C:\\kt5\\other.exe")}, Ours(host.Events()));
    host.Clear();
    EXPECT_TRUE(Signalled(Event(), 0)) << "the change made during the comparison was lost";
    OnChange();
    EXPECT_EQ(Events{Assoc(EVENT_CHANGED, ".kt5a", "KT5.Shared=C:\\kt5\\meanwhile.exe")}, Drain());
}

TEST_F(FileAssociationWatcher, DescribeNeedsADotAnIdentifierAndACommand) {
    RegSetString(HKEY_CLASSES_ROOT, kSharedCommand, "", "C:\\kt5\\edit.exe %1");
    RegSetString(HKEY_CLASSES_ROOT, ".kt5a", "", "KT5.Shared");
    RegSetString(HKEY_CLASSES_ROOT, "KT5NoDot", "", "KT5.Shared");
    RegSetString(HKEY_CLASSES_ROOT, ".kt5b", "", std::string(600, 'P')); // names no key
    CRegistryKey root;
    ASSERT_EQ(ERROR_SUCCESS, root.Open(HKEY_CLASSES_ROOT, ""));
    const struct {
        const char* name;
        const char* details;
        const char* progId;
    } cases[] = {
        {"KT5NoDot", "", ""}, {".kt5a", "KT5.Shared=C:\\kt5\\edit.exe %1", "KT5.Shared"}, {".kt5z", "", ""}};
    for (const auto& c : cases) {
        std::string progId;
        EXPECT_EQ(c.details, CFileAssociationWatcher::DescribeAssociation(root, c.name, progId)) << c.name;
        EXPECT_EQ(c.progId, progId) << c.name;
    }
    std::string progId;
    EXPECT_EQ("", CFileAssociationWatcher::DescribeAssociation(root, ".kt5b", progId));
}
