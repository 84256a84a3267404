#include "logodir/directoryops.h"

#include "common/text.h"
#include "logodir/messages.h"
#include "logodir/nodepaths.h"
#include "logodir/subtreedelete.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quillon {

namespace {

// Copies through a temporary file in the target folder, so a failed copy leaves no
// half picture behind.
bool CopyPicture(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    if (fs::exists(target, ec) && fs::equivalent(source, target, ec))
        return true;
    fs::path temp = target;
    temp += ".part";
    if (!fs::copy_file(source, temp, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

// A rename never replaces what is already there: a file or an empty folder on disk
// that the tree does not list is still the user's. File systems that cannot promise that
// in one step (NFS, some FUSE ones) get a look first.
bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    struct stat existing{};
    if (::lstat(to.c_str(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool DeleteFileForGood(const std::string& path)
{
    if (::remove(path.c_str()) == 0)
        return true;
    return errno == ENOENT;
}

bool RemoveFromDisk(const std::string& path, bool folder, const TRemoveFile& removeFile)
{
    if (!folder)
        return removeFile(path);
    // Only an empty directory goes, and it holds nothing worth a trash entry.
    return ::rmdir(path.c_str()) == 0 || errno == ENOENT;
}

bool TDirectoryOps::RemoveNodeFromDisk(const TLogoNode* node)
{
    return RemoveFromDisk(GetNodePath(appDir_, node), node->Data()->nodekind != nkLogo, removeFile_);
}

TLogoNode* FolderOfSelection(const TLogoTree& tree, TLogoNode* selected)
{
    TLogoNode* folder = selected ? selected : tree.Root();
    while (folder->Data()->nodekind == nkLogo)
        folder = folder->Parent();
    return folder;
}

bool TDirectoryOps::AcceptableName(const std::string& name)
{
    if (IsSafeNodeName(name))
        return true;
    prompts_.Warning(kMsgBadName);
    return false;
}

TLogoNode* TDirectoryOps::AddImageToDirectory(TLogoNode* selected, const std::string& sourceFile,
                                              const TLogoDirObject& newLogoTemplate)
{
    TLogoNode* folder = FolderOf(selected);
    const std::string fileName = fs::path(sourceFile).filename().string();
    const std::string name = MakeUniqueName(folder, BaseName(fileName)) + std::string(FileExtension(fileName));
    const std::string folderPath = GetFolderPath(appDir_, folder);

    std::error_code ec;
    fs::create_directories(folderPath, ec);
    if (ec || !fs::is_directory(folderPath, ec)) {
        prompts_.Error(kMsgAddFolderError);
        return nullptr;
    }
    if (!CopyPicture(sourceFile, folderPath + name)) {
        prompts_.Error(kMsgAddCopyError);
        return nullptr;
    }
    auto record = std::make_unique<TLogoDirObject>(newLogoTemplate);
    record->nodename = name;
    return tree_.AddChild(folder, name, kLogoImage, std::move(record));
}

TLogoNode* TDirectoryOps::NewFolder(TLogoNode* selected)
{
    TLogoNode* parent = FolderOf(selected);
    std::string name = MakeNewFolderName(parent);
    int position = static_cast<int>(parent->Count());
    for (size_t i = 0; i < parent->Count(); ++i) {
        if (parent->Child(i)->Data()->nodekind == nkLogo) {
            position = static_cast<int>(i);
            break;
        }
    }
    if (!prompts_.InputQuery(kTitleNewFolder, kPromptNewFolder, name))
        return nullptr;
    if (!AcceptableName(name))
        return nullptr;
    // Base names on both sides: a folder x.y next to a folder x.y is caught too.
    if (!IsNameFree(parent, BaseName(name))) {
        prompts_.Error(kMsgNameExists);
        return nullptr;
    }
    std::error_code ec;
    const std::string path = GetFolderPath(appDir_, parent) + name;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
        prompts_.Error(kMsgNewFolderError);
        return nullptr;
    }
    return tree_.InsertChild(parent, position, name, kFolderImage, std::make_unique<TLogoDirObject>(nkFolder, name));
}

bool TDirectoryOps::RenameSelectedNode(TLogoNode* selected)
{
    if (!selected)
        return false;
    switch (selected->Data()->nodekind) {
    case nkLogo:
        return RenameLogo(selected);
    case nkFolder:
        return RenameFolder(selected);
    default:
        return false;
    }
}

bool TDirectoryOps::RenameLogo(TLogoNode* node)
{
    const std::string oldName = node->Text();
    const std::string oldBase = BaseName(oldName);
    const std::string extension(FileExtension(oldName));
    std::string newBase = oldBase;
    if (!prompts_.InputQuery(kTitleRenameLogo, kPromptRenameLogo, newBase))
        return false;
    if (SameTextAscii(newBase, oldBase))
        return false;
    // The base name alone must be a name: "" would leave a hidden file ".jpg".
    if (!AcceptableName(newBase) || !AcceptableName(newBase + extension))
        return false;
    if (!IsNameFree(node->Parent(), newBase)) {
        prompts_.Error(kMsgNameExists);
        return false;
    }
    const std::string folder = GetFolderPath(appDir_, node);
    if (!RenameNoReplace(folder + oldName, folder + newBase + extension)) {
        prompts_.Error(kMsgRenameLogoError);
        return false;
    }
    node->SetText(newBase + extension);
    return true;
}

bool TDirectoryOps::RenameFolder(TLogoNode* node)
{
    const std::string oldName = node->Text();
    std::string newName = oldName;
    if (!prompts_.InputQuery(kTitleRenameFolder, kPromptRenameFolder, newName))
        return false;
    if (SameTextAscii(newName, oldName))
        return false;
    if (!AcceptableName(newName))
        return false;
    if (!IsNameFreeExcept(node->Parent(), BaseName(newName), BaseName(oldName))) {
        prompts_.Error(kMsgNameExists);
        return false;
    }
    const std::string parentPath = GetFolderPath(appDir_, node->Parent());
    if (!RenameNoReplace(parentPath + oldName, parentPath + newName)) {
        prompts_.Error(kMsgRenameFolderError);
        return false;
    }
    node->SetText(newName);
    return true;
}

bool TDirectoryOps::DeleteSelectedNode(TLogoNode* selected, bool uploadRunning)
{
    if (uploadRunning) {
        prompts_.Warning(kMsgNotDuringUpload);
        return false;
    }
    if (!selected || selected->IsRoot())
        return false;
    if (selected->Data()->nodekind == nkLogo) {
        if (!prompts_.Confirm(kMsgConfirmDeleteLogo))
            return false;
        if (!RemoveNodeFromDisk(selected)) {
            prompts_.Error(kMsgDeleteLogoError);
            return false;
        }
        tree_.Delete(selected);
        return true;
    }
    const bool empty = selected->Count() == 0;
    if (!prompts_.Confirm(empty ? kMsgConfirmDeleteFolder : kMsgConfirmDeleteTree))
        return false;
    // A folder that holds nothing is gone in a moment; a subtree may take long.
    bool cancelled = false;
    if (!(treeDeleter_ && !empty ? treeDeleter_(selected, &cancelled) : DeleteNodeTree(selected))) {
        if (!cancelled)
            prompts_.Error(kMsgDeleteFolderError);
        return false;
    }
    return true;
}

bool TDirectoryOps::DeleteNodeTree(TLogoNode* node)
{
    TSubtreeDelete plan(appDir_, node, removeFile_);
    plan.Run();
    plan.RemoveGone(tree_);
    return !plan.Failed();
}

} // namespace quillon
