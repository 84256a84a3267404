#include "acquire/acquiredpicture.h"

#include "common/error.h"
#include "common/text.h"
#include "imaging/pictureformat.h"
#include "imaging/picturewriters.h"
#include "logodir/directoryops.h"
#include "logodir/messages.h"
#include "logodir/nodepaths.h"

#include <filesystem>

namespace quillon {

TLogoNode* AddAcquiredPicture(const std::string& appDir, TLogoTree& tree, TLogoNode* selected,
                              const std::string& fileName, const TBitmap& picture,
                              const TLogoDirObject& newLogoTemplate, TPrompts& prompts)
{
    TLogoNode* folder = TDirectoryOps(appDir, tree, prompts).FolderOf(selected);
    const std::string extension(FileExtension(fileName));
    const std::string base = MakeUniqueName(folder, BaseName(fileName));
    const int formatIndex = PictureFormatOfName(extension);
    const std::string folderPath = GetFolderPath(appDir, folder);
    try {
        // The root's folder does not exist before the first picture arrives; a folder
        // that cannot be made shows as the writer's own error below.
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::u8path(folderPath), ec);
        WriteConvertedFile(folderPath, base, formatIndex, picture);
    } catch (const QuillonError& e) {
        prompts.Error(e.what());
        return nullptr;
    }
    const std::string name = base + PictureExtension(formatIndex);
    auto record = std::make_unique<TLogoDirObject>(newLogoTemplate);
    record->nodename = name;
    return tree.AddChild(folder, name, kLogoImage, std::move(record));
}

bool AskAcquiredPictureName(TPrompts& prompts, const std::string& title, const std::string& prompt,
                            std::string& name)
{
    for (;;) {
        if (!prompts.InputQuery(title, prompt, name))
            return false;
        if (name.empty())
            continue;
        // The name becomes a file in the folder: one that would lead out of it is refused.
        if (IsSafeNodeName(name))
            return true;
        prompts.Warning(kMsgBadName);
    }
}

} // namespace quillon
