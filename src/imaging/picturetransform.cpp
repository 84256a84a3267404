#include "imaging/picturetransform.h"

#include "common/error.h"
#include "common/text.h"
#include "imaging/pictureformat.h"
#include "imaging/picturemessages.h"
#include "imaging/picturewriters.h"
#include "logodir/messages.h"
#include "logodir/nodepaths.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace quillon {

namespace fs = std::filesystem;

namespace {

const char* KeepQuestion(TTransformKind kind)
{
    switch (kind) {
    case TTransformKind::Convert:
        return kMsgKeepAfterConvert;
    case TTransformKind::Mirror:
        return kMsgKeepAfterMirror;
    case TTransformKind::Rotate:
        break;
    }
    return kMsgKeepAfterRotate;
}

// Returns false when the user cancelled.
bool DecideKeep(const TTransformRequest& request, TPrompts& prompts, bool& keep)
{
    if (request.retainSource == 1) {
        keep = true;
        return true;
    }
    if (request.retainSource != 0) {
        keep = false;
        return true;
    }
    const TAnswer answer = prompts.ConfirmCancel(KeepQuestion(request.kind));
    keep = answer == TAnswer::Yes;
    return answer != TAnswer::Cancel;
}

// The ask-target-name loop; false when the user cancelled. The typed name becomes a file
// name inside the folder, so one that would lead out of it (a "/") is asked for again,
// as a taken one is, with what is wrong with it.
bool AskTargetName(const TLogoNode* folder, bool keep, const std::string& base, const std::string& extension,
                   std::string& name, TPrompts& prompts)
{
    for (;;) {
        if (!prompts.InputQuery(kTitleTargetFileName, kPromptTargetFileName, name))
            return false;
        if (!IsSafeNodeName(name + extension))
            prompts.Warning(kMsgBadName);
        else if (keep ? IsNameFree(folder, name) : IsNameFreeExcept(folder, name, base))
            return true;
        else
            prompts.Warning(kMsgTargetNameExists);
    }
}

std::string WriteNewFile(const std::string& folderPath, const std::string& name, int formatIndex,
                         const TBitmap& picture, const std::string& sourceFile, const TTransformRequest& request,
                         const TEncodeProgress& progress)
{
    switch (request.kind) {
    case TTransformKind::Convert:
        return WriteConvertedFile(folderPath, name, formatIndex, picture, progress);
    case TTransformKind::Mirror:
        return WriteMirroredFile(folderPath, name, formatIndex, picture, request.direction, sourceFile, progress);
    case TTransformKind::Rotate:
        break;
    }
    return WriteRotatedFile(folderPath, name, formatIndex, picture, request.angle, sourceFile, progress);
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    const bool same = fs::equivalent(fs::u8path(a), fs::u8path(b), ec);
    return !ec && same;
}

// A file already gone (deleted behind the program's back) counts as deleted: the node
// goes on to name the new file.
bool RemoveSource(const std::string& oldPath)
{
    std::error_code ec;
    fs::remove(fs::u8path(oldPath), ec);
    return !ec;
}

} // namespace

int TargetFormatIndex(const TTransformRequest& request, const std::string& oldName)
{
    if (request.kind == TTransformKind::Convert)
        return request.formatIndex;
    return PictureFormatOfName(oldName);
}

bool ShouldDeleteSource(const TTransformRequest& request, const std::string& oldPath, const std::string& newPath)
{
    if (SameFile(oldPath, newPath))
        return false;
    if (request.kind == TTransformKind::Convert || SameTextAscii(oldPath, newPath))
        return true;
    return request.askTargetName;
}

TTransformResult TransformLogoFile(const std::string& appDir, TLogoTree& tree, TLogoNode* node,
                                   const TBitmap& picture, const TTransformRequest& request, TPrompts& prompts,
                                   const TEncodeProgress& progress)
{
    if (!node || !node->Data() || node->Data()->nodekind != nkLogo)
        return {};
    TLogoNode* parent = node->Parent();
    const std::string old = node->Text();
    const std::string base = BaseName(old);
    const int formatIndex = TargetFormatIndex(request, old);

    bool keep = false;
    if (!DecideKeep(request, prompts, keep))
        return {};
    const std::string extension = PictureExtension(formatIndex);
    std::string name = keep ? MakeUniqueName(parent, base) : base;
    if (request.askTargetName && !AskTargetName(parent, keep, base, extension, name, prompts))
        return {};

    const std::string oldPath = GetLogoFileName(appDir, node);
    std::string newPath;
    try {
        newPath = WriteNewFile(GetFolderPath(appDir, parent), name, formatIndex, picture, oldPath, request, progress);
    } catch (const QuillonError& e) {
        prompts.Error(e.what());
        return {};
    }
    const std::string newName = name + extension;

    if (!keep && ShouldDeleteSource(request, oldPath, newPath) && !RemoveSource(oldPath)) {
        prompts.Error(kMsgCouldNotDeleteSource);
        // The old file stays and the node keeps naming it; the new one goes again, so no
        // file is left that no node names. Only when it cannot go does the node take it.
        std::error_code ec;
        fs::remove(fs::u8path(newPath), ec);
        if (!ec)
            return {};
    }

    if (keep) {
        auto record = std::make_unique<TLogoDirObject>(*node->Data());
        record->nodename = newName;
        record->DiscardFrame();
        TLogoNode* added = tree.InsertChild(parent, node->Index() + 1, newName, node->ImageIndex(), std::move(record));
        return {added, true};
    }
    node->Data()->DiscardFrame();
    node->SetText(newName);
    return {node, false};
}

} // namespace quillon
