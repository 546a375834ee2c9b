// The process-wide prompt seam and its fallback that only logs.
#include "kernel/UserPrompts.h"

#include <atomic>
#include <cstdio>

namespace {

class StderrPrompts final : public UserPrompts {
public:
    PromptAnswer Message(const std::string& text, const std::string& caption, PromptButtons,
                         PromptIcon) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        return PromptAnswer::Cancel;
    }
    std::optional<std::string> OpenFileName(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> SaveFileName(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> InputText(const std::string&, const std::string&,
                                         const std::string&) override {
        return {};
    }
};

StderrPrompts fallback;
std::atomic<UserPrompts*> installed{nullptr};

}  // namespace

UserPrompts& Prompts() {
    UserPrompts* p = installed.load();
    return p ? *p : fallback;
}

UserPrompts* SetPrompts(UserPrompts* prompts) { return installed.exchange(prompts); }
