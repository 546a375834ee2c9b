// The prompt seam realised with Qt's message boxes, file dialogs and input dialog.
#pragma once

#include "kernel/UserPrompts.h"

class QtPrompts final : public UserPrompts {
public:
    PromptAnswer Message(const std::string& text, const std::string& caption,
                         PromptButtons buttons, PromptIcon icon) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const FileDialogRequest& request) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& label,
                                         const std::string& initial) override;
    std::optional<PrintTarget> PrintDialog() override;
};
