#include "logodir/subtreedelete.h"

#include "logodir/nodepaths.h"

namespace quillon {

TSubtreeDelete::TSubtreeDelete(const std::string& appDir, TLogoNode* node, TRemoveFile removeFile)
    : removeFile_(std::move(removeFile))
{
    Plan(appDir, node);
}

void TSubtreeDelete::Plan(const std::string& appDir, TLogoNode* node)
{
    // The folder path of a node is built once per folder, not once per logo: a folder of
    // forty thousand logos would otherwise walk up the tree forty thousand times.
    struct TLevel {
        TLogoNode* node;
        size_t next;  // children still to plan, counted down
        std::string folder;
    };
    std::vector<TLevel> path;
    auto enter = [&](TLogoNode* n) {
        if (n->Data()->nodekind == nkLogo) {
            steps_.push_back({GetNodePath(appDir, n), false, n});
            return;
        }
        path.push_back({n, n->Count(), GetFolderPath(appDir, n)});
    };
    enter(node);
    while (!path.empty()) {
        TLevel& level = path.back();
        if (level.next == 0) {
            steps_.push_back({GetNodePath(appDir, level.node), true, level.node});
            path.pop_back();
            continue;
        }
        TLogoNode* child = level.node->Child(--level.next);
        if (child->Data()->nodekind == nkLogo)
            steps_.push_back({level.folder + child->Text(), false, child});
        else
            enter(child);
    }
}

void TSubtreeDelete::Run()
{
    for (size_t i = 0; i < steps_.size() && !cancelled_; ++i) {
        const TStep& step = steps_[i];
        if (!RemoveFromDisk(step.path, step.folder, removeFile_)) {
            failed_.store(true, std::memory_order_release);
            break;
        }
        done_.store(i + 1, std::memory_order_release);
    }
    finished_.store(true, std::memory_order_release);
}

void TSubtreeDelete::RemoveGone(TLogoTree& tree)
{
    const size_t done = Done();
    while (removed_ < done) {
        TLogoNode* parent = steps_[removed_].node->Parent();
        // The steps that follow are the last children of the same folder, one after another.
        size_t run = 0;
        while (removed_ + run < done && steps_[removed_ + run].node->Parent() == parent
               && steps_[removed_ + run].node->Index() == static_cast<int>(parent->Count() - 1 - run))
            ++run;
        if (run == 0) {
            tree.Delete(steps_[removed_].node);  // the tree changed under the plan: one by one
            ++removed_;
            continue;
        }
        tree.DeleteLastChildren(parent, run);
        removed_ += run;
    }
}

} // namespace quillon
