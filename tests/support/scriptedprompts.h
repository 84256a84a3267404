#pragma once

#include "common/prompts.h"

#include <deque>
#include <string>
#include <vector>

namespace quillon::test {

// Records every message box and answers questions from a script (Yes when it runs out).
class TScriptedPrompts : public TPrompts {
public:
    struct Shown {
        std::string kind;
        std::string text;
    };

    void Error(const std::string& text) override { shown.push_back({"error", text}); }
    void Warning(const std::string& text) override { shown.push_back({"warning", text}); }
    void Information(const std::string& text) override { shown.push_back({"information", text}); }
    bool Confirm(const std::string& text) override
    {
        shown.push_back({"confirm", text});
        if (answers.empty())
            return true;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> t;
        for (const auto& s : shown)
            t.push_back(s.text);
        return t;
    }

    std::vector<Shown> shown;
    std::deque<bool> answers;
};

} // namespace quillon::test
