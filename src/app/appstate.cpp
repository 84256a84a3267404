#include "app/appstate.h"

#include "app/messages.h"
#include "common/text.h"
#include "common/xml.h"

#include <filesystem>

namespace quillon {

TLogoNode* LoadAppState(const std::string& appDir, TLogoTree& tree, TPrompts& prompts)
{
    const std::filesystem::path file = appDir + kAppStateFile;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return nullptr;
    try {
        XmlDocument doc = XmlDocument::Load(file);
        XmlElement root = doc.Root();
        if (root.LowerName() != "appstate") {
            prompts.Error(kMsgAppStateCorrupt);
            return nullptr;
        }
        TLogoNode* selected = nullptr;
        for (const XmlElement& e : root.ChildElements()) {
            if (e.LowerName() != "activenodepath")
                continue;
            TLogoNode* current = tree.Root();
            current->SetExpanded(true);
            for (const std::string& part : SplitString(e.Attribute("value").value_or(""), '/')) {
                if (part.empty())
                    continue;
                // A part that matches no child is passed over, so a path whose middle
                // folder is gone still selects the deepest node that matches.
                for (size_t i = 0; i < current->Count(); ++i) {
                    if (current->Child(i)->Text() == part) {
                        current = current->Child(i);
                        current->SetExpanded(true);
                        break;
                    }
                }
            }
            selected = current;
        }
        return selected;
    } catch (const std::exception& e) {
        prompts.Error(e.what());
        return nullptr;
    }
}

std::string ActiveNodePath(const TLogoNode* node)
{
    std::string path;
    for (const TLogoNode* n = node; n && !n->IsRoot(); n = n->Parent())
        path = path.empty() ? n->Text() : n->Text() + "/" + path;
    return path;
}

void WriteAppState(const std::string& appDir, const std::string& activeNodePath)
{
    XmlDocument doc = XmlDocument::Create("appstate");
    if (!activeNodePath.empty())
        doc.Root().AppendChild("activenodepath").SetAttribute("value", activeNodePath);
    doc.Save(appDir + kAppStateFile);
}

bool SaveAppState(const std::string& appDir, const TLogoNode* selected, TPrompts& prompts)
{
    try {
        WriteAppState(appDir, ActiveNodePath(selected));
        return true;
    } catch (const std::exception&) {
        prompts.Error(kMsgAppStateSaveError);
        return false;
    }
}

} // namespace quillon
