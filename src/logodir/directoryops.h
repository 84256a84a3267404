#pragma once

#include "common/prompts.h"
#include "logodir/logotree.h"

#include <functional>
#include <string>

namespace quillon {

// How the picture file of a deleted logo leaves its folder; true when it is gone (one
// that was already gone counts). The program moves it to the desktop's trash, so a
// Delete can be undone; DeleteFileForGood is the plain deletion.
using TRemoveFile = std::function<bool(const std::string& path)>;
bool DeleteFileForGood(const std::string& path);

// Removes a logo's picture through removeFile, or a folder's directory when it is empty
// (true when it is gone, or was already).
bool RemoveFromDisk(const std::string& path, bool folder, const TRemoveFile& removeFile);

// How DeleteSelectedNode deletes a folder with children: true when it is gone; false
// after a failure (reported by the caller) or, with *cancelled set, a Cancel.
using TTreeDeleter = std::function<bool(TLogoNode* node, bool* cancelled)>;

// Renames without replacing what is already at `to` (false with errno EEXIST then).
bool RenameNoReplace(const std::string& from, const std::string& to);

// The folder a command acts in: the selected node, or the root, or a logo's parent.
TLogoNode* FolderOfSelection(const TLogoTree& tree, TLogoNode* selected);

// The operations the user runs on the logo directory. Each acts on the tree and on
// the disk at once, reports its own failures, and leaves tree and disk as they were
// before the failing step.
class TDirectoryOps {
public:
    TDirectoryOps(std::string appDir, TLogoTree& tree, TPrompts& prompts, TRemoveFile removeFile)
        : appDir_(std::move(appDir)), tree_(tree), prompts_(prompts), removeFile_(std::move(removeFile))
    {
    }

    // Copies sourceFile into the folder of selected (the root when null) under a
    // unique name; returns the new logo node, or null after a reported failure.
    TLogoNode* AddImageToDirectory(TLogoNode* selected, const std::string& sourceFile,
                                   const TLogoDirObject& newLogoTemplate);
    // Asks for a name and creates the folder before the first logo of the parent.
    TLogoNode* NewFolder(TLogoNode* selected);
    // Returns whether the node was renamed.
    bool RenameSelectedNode(TLogoNode* selected);
    // Returns whether the node is gone. The node and its subtree are freed on success.
    bool DeleteSelectedNode(TLogoNode* selected, bool uploadRunning);
    // Deletes the subtree deepest first; stops at the first failure, keeping what failed.
    // Pictures go through removeFile; a folder's directory is removed only once empty, so
    // a file the tree does not list stops the delete instead of being lost.
    bool DeleteNodeTree(TLogoNode* node);
    // Replaces DeleteNodeTree for the Delete command (the window runs it on a worker).
    void SetTreeDeleter(TTreeDeleter deleter) { treeDeleter_ = std::move(deleter); }

    TLogoNode* FolderOf(TLogoNode* selected) const { return FolderOfSelection(tree_, selected); }

private:
    bool RenameLogo(TLogoNode* node);
    bool RenameFolder(TLogoNode* node);
    bool AcceptableName(const std::string& name);
    bool RemoveNodeFromDisk(const TLogoNode* node);

    std::string appDir_;
    TLogoTree& tree_;
    TPrompts& prompts_;
    TRemoveFile removeFile_;
    TTreeDeleter treeDeleter_;
};

} // namespace quillon
