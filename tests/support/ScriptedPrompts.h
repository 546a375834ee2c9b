// A stand-in for the prompt seam in tests: records every prompt and answers from a script.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kernel/UserPrompts.h"

class ScriptedPrompts final : public UserPrompts {
public:
    struct Shown {
        enum class Kind { Message, OpenFile, SaveFile, Input, Print } kind;
        std::string text;  // message text, dialog title or input label
        std::string caption;
        PromptButtons buttons = PromptButtons::Ok;
        PromptIcon icon = PromptIcon::None;
        FileDialogRequest request;  // file dialogs only
    };

    // Installs itself as the process's seam for its lifetime.
    ScriptedPrompts() { previous_ = SetPrompts(this); }
    ~ScriptedPrompts() override { SetPrompts(previous_); }
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    // Answers for message boxes, in order; when the script runs out, Ok (No for yes/no
    // questions and for the unsaved-changes question) is given.
    void AnswerMessages(std::initializer_list<PromptAnswer> answers) {
        std::lock_guard lock(mutex_);
        messageAnswers_.insert(messageAnswers_.end(), answers);
    }
    // Answers for file dialogs and input prompts, in order; std::nullopt is Cancel, and so is
    // an exhausted script.
    void AnswerTexts(std::initializer_list<std::optional<std::string>> answers) {
        std::lock_guard lock(mutex_);
        textAnswers_.insert(textAnswers_.end(), answers);
    }

    // Answers for the unsaved-changes question (Yes 保存, No 保存しない, Cancel), in order.
    void AnswerSaveQuestions(std::initializer_list<PromptAnswer> answers) {
        std::lock_guard lock(mutex_);
        saveAnswers_.insert(saveAnswers_.end(), answers);
    }
    // What was shown, without the unsaved-changes questions.
    std::vector<Shown> shownBesidesSaveQuestions() const {
        std::lock_guard lock(mutex_);
        std::vector<Shown> rest;
        for (const auto& s : shown_)
            if (s.buttons != PromptButtons::SaveDiscardCancel) rest.push_back(s);
        return rest;
    }
    // Runs while each message box is open (after it was recorded), as the user takes time to
    // read it: a box that is shown through the seam runs the event loop meanwhile.
    void WhileMessageShown(std::function<void(const std::string& text)> f) {
        std::lock_guard lock(mutex_);
        whileShown_ = std::move(f);
    }

    std::vector<Shown> shown() const {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    std::vector<std::string> messageTexts() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const auto& s : shown_)  // the unsaved-changes question has its own checks
            if (s.kind == Shown::Kind::Message && s.buttons != PromptButtons::SaveDiscardCancel)
                texts.push_back(s.text);
        return texts;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        shown_.clear();
    }

    PromptAnswer Message(const std::string& text, const std::string& caption,
                         PromptButtons buttons, PromptIcon icon) override {
        std::function<void(const std::string&)> whileShown;
        {
            std::lock_guard lock(mutex_);
            shown_.push_back({Shown::Kind::Message, text, caption, buttons, icon, {}});
            whileShown = whileShown_;
        }
        if (whileShown) whileShown(text);
        std::lock_guard lock(mutex_);
        // The question about unsaved changes has answers of its own; unscripted it is
        // answered 保存しない, so that a test that drew something goes on as before.
        if (buttons == PromptButtons::SaveDiscardCancel) {
            if (saveAnswers_.empty()) return PromptAnswer::No;
            PromptAnswer a = saveAnswers_.front();
            saveAnswers_.pop_front();
            return a;
        }
        if (!messageAnswers_.empty()) {
            PromptAnswer a = messageAnswers_.front();
            messageAnswers_.pop_front();
            return a;
        }
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
    }
    std::optional<std::string> OpenFileName(const FileDialogRequest& r) override {
        return Text(Shown::Kind::OpenFile, r.title, r.filter, r);
    }
    std::optional<std::string> SaveFileName(const FileDialogRequest& r) override {
        return Text(Shown::Kind::SaveFile, r.title, r.filter, r);
    }
    // The print dialog takes the next text answer as the PDF file to print to; Cancel when
    // the answer is Cancel or the script is exhausted.
    std::optional<PrintTarget> PrintDialog() override {
        auto file = Text(Shown::Kind::Print, "印刷", "");
        if (!file) return std::nullopt;
        PrintTarget t;
        t.outputFile = *file;
        return t;
    }
    std::optional<std::string> InputText(const std::string& caption, const std::string& label,
                                         const std::string&) override {
        return Text(Shown::Kind::Input, label, caption);
    }

private:
    std::optional<std::string> Text(Shown::Kind kind, const std::string& text,
                                    const std::string& caption,
                                    const FileDialogRequest& request = {}) {
        std::lock_guard lock(mutex_);
        shown_.push_back({kind, text, caption, PromptButtons::Ok, PromptIcon::None, request});
        if (textAnswers_.empty()) return std::nullopt;
        auto a = textAnswers_.front();
        textAnswers_.pop_front();
        return a;
    }

    mutable std::mutex mutex_;
    UserPrompts* previous_ = nullptr;
    std::deque<PromptAnswer> messageAnswers_;
    std::deque<PromptAnswer> saveAnswers_;
    std::deque<std::optional<std::string>> textAnswers_;
    std::vector<Shown> shown_;
    std::function<void(const std::string&)> whileShown_;
};
