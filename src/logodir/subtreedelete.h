#pragma once

#include "logodir/directoryops.h"
#include "logodir/logotree.h"

#include <atomic>
#include <string>
#include <vector>

namespace quillon {

// Deleting a node with its subtree as DeleteNodeTree specifies it, deepest first and last
// to first, split so that the disk work can run on another thread: the plan is made on the
// window's thread, Run removes the files and folders (on any thread), and RemoveGone takes
// the nodes whose files are gone out of the tree (on the window's thread again), as often
// as the caller likes. What was removed from disk stays removed; a failure or a Cancel
// stops at once, and the tree keeps exactly what is still on disk.
class TSubtreeDelete {
public:
    TSubtreeDelete(const std::string& appDir, TLogoNode* node, TRemoveFile removeFile);
    TSubtreeDelete(const TSubtreeDelete&) = delete;
    TSubtreeDelete& operator=(const TSubtreeDelete&) = delete;

    size_t Count() const { return steps_.size(); }
    void Run();
    // From any thread; the step under way finishes first.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }
    // Steps done on disk so far.
    size_t Done() const { return done_.load(std::memory_order_acquire); }
    bool Failed() const { return failed_.load(std::memory_order_acquire); }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    // Deletes from the tree the nodes whose files are gone since the last call; the last
    // children of one folder go as one removal, so the view is told once per folder and call.
    void RemoveGone(TLogoTree& tree);

private:
    struct TStep {
        std::string path;
        bool folder;
        TLogoNode* node;  // read on the window's thread only
    };
    void Plan(const std::string& appDir, TLogoNode* node);

    std::vector<TStep> steps_;
    TRemoveFile removeFile_;
    size_t removed_ = 0;
    std::atomic<size_t> done_{0};
    std::atomic<bool> failed_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
};

} // namespace quillon
