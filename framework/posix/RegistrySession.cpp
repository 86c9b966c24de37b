#include "framework/RegistryKey.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/RegistryTree.h"
#include "framework/posix/RegistryAccess.h"
#include "framework/posix/RegistryFile.h"
#include "framework/posix/RegistryFolder.h"

// Outside a session every call reads the file anew. A session keeps the tree it read and its
// writes as the changes that made them, and makes them again at Commit in the same way a
// single writer does.

namespace {

// Reads the tree from the folder the environment names now, and says which that was.
RegistryProblem Load(std::string& folder, RegistryTree& tree) {
    folder = RegistryFolder();
    if (folder.empty())
        return RegistryProblem::Unreadable;
    return ReadRegistryFile(RegistryFileIn(folder), tree);
}

// The process's session, when one is open (depth > 0). The mutex guards every member.
struct Session {
    std::mutex mutex;
    int depth = 0;
    bool loaded = false;
    std::string folder;                   // the tree's, fixed at the first use
    RegistryTree tree;                    // the file's content as read, with `changes` made
    std::vector<RegistryChange> changes;  // since the last Commit, in the order they were made
    bool changedTree = false;             // some of `changes` changed the tree
    RegistryProblem problem = RegistryProblem::None;  // at the last reading or storing

    bool EnsureLoaded() {
        if (!loaded) {
            problem = Load(folder, tree);
            loaded = problem == RegistryProblem::None;
        }
        return loaded;
    }

    bool Commit() {
        std::vector<RegistryChange> made = std::move(changes);
        changes.clear();
        // Writes that changed nothing need not reach the file, nor wait for its lock.
        if (!std::exchange(changedTree, false))
            return true;
        bool allMade = true;
        RegistryTree fresh;
        problem = UpdateRegistryFile(
            folder,
            [&](RegistryTree& t, bool& changed) {
                for (const RegistryChange& change : made) {
                    bool one = false;
                    if (change(t, one))
                        changed = changed || one;
                    else
                        allMade = false;
                }
                return true;
            },
            &fresh);
        const bool stored = problem == RegistryProblem::None;
        // Now the file's content, or, when it could not be stored, read again at the next use,
        // so that nothing shows writes the file lacks.
        if (stored)
            tree = std::move(fresh);
        else
            loaded = false;
        return stored && allMade;
    }

    void End() {
        loaded = false;
        folder.clear();
        tree = RegistryTree();
        changes.clear();
        changedTree = false;
        problem = RegistryProblem::None;
    }
};

Session& TheSession() {
    static Session session;
    return session;
}

}  // namespace

bool WithRegistryTree(const std::function<bool(RegistryTree& tree)>& use) {
    Session& s = TheSession();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.depth > 0)
        return s.EnsureLoaded() && use(s.tree);
    lock.unlock();
    std::string folder;
    RegistryTree tree;
    return Load(folder, tree) == RegistryProblem::None && use(tree);
}

bool WriteRegistryTree(RegistryChange change, bool mustChange) {
    Session& s = TheSession();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.depth == 0) {
        lock.unlock();
        bool made = false;
        const RegistryProblem problem =
            UpdateRegistryFile(RegistryFolder(), [&](RegistryTree& tree, bool& changed) {
                made = change(tree, changed) && (changed || !mustChange);
                return made;
            });
        return problem == RegistryProblem::None && made;
    }
    bool changed = false;
    if (!s.EnsureLoaded() || !change(s.tree, changed) || (mustChange && !changed))
        return false;
    // Kept even when it changed nothing here: made again at Commit, it wins over what another
    // process wrote meanwhile, as it would have had it gone to the file at once.
    s.changes.push_back(std::move(change));
    s.changedTree = s.changedTree || changed;
    return true;
}

RegistrySession::RegistrySession() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.depth;
}

RegistrySession::~RegistrySession() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    try {
        (void)s.Commit();
    } catch (...) {
        // Out of memory while formatting: the writes are lost, as a failed write's would be.
    }
    if (--s.depth == 0)
        s.End();
}

bool RegistrySession::Commit() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.Commit();
}

void RegistrySession::Abandon() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.changes.clear();
    s.changedTree = false;
    s.loaded = false;
}

RegistryProblem RegistrySession::Problem() const {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.problem;
}

std::string RegistrySession::FilePath() const {
    Session& s = TheSession();
    std::unique_lock<std::mutex> lock(s.mutex);
    std::string folder = s.folder;
    lock.unlock();
    if (folder.empty())
        folder = RegistryFolder();
    return folder.empty() ? std::string() : RegistryFileIn(folder);
}
