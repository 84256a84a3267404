#pragma once

#include "common/prompts.h"

#include <deque>
#include <optional>
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

    // Yes/No/Cancel questions are answered from choices (Yes when it runs out).
    TAnswer ConfirmCancel(const std::string& text) override
    {
        shown.push_back({"confirm3", text});
        if (choices.empty())
            return TAnswer::Yes;
        TAnswer a = choices.front();
        choices.pop_front();
        return a;
    }

    // Answers input boxes from inputs (nothing: Cancel); with no script left, OK with the
    // prefilled value.
    bool InputQuery(const std::string& title, const std::string& prompt, std::string& value) override
    {
        shown.push_back({"input", title + "|" + prompt + "|" + value});
        if (inputs.empty())
            return true;
        std::optional<std::string> a = inputs.front();
        inputs.pop_front();
        if (!a)
            return false;
        value = *a;
        return true;
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
    std::deque<TAnswer> choices;
    std::deque<std::optional<std::string>> inputs;
};

} // namespace quillon::test
