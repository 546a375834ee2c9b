// The one seam through which the program shows message boxes, questions, file dialogs and input
// prompts.
#pragma once

#include <optional>
#include <string>

// Texts are UTF-8. The interface carries no Qt types so that the kernel, which must not
// depend on Qt, can report its arithmetic faults through it too.
// SaveDiscardCancel: 保存 (answered Yes), 保存しない (No), キャンセル (Cancel).
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, SaveDiscardCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    std::string title;
    std::string filter;  // Qt filter syntax: "DAC files (*.dac);;All files (*)"
    std::string defaultSuffix;
    std::string initialPath;
};

// Where a print job goes, as the print dialog chose it: a printer by name (empty: the
// default printer), or a PDF file when outputFile is set.
struct PrintTarget {
    std::string printerName;
    std::string outputFile;
};

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    virtual PromptAnswer Message(const std::string& text, const std::string& caption,
                                 PromptButtons buttons = PromptButtons::Ok,
                                 PromptIcon icon = PromptIcon::None) = 0;
    // An empty optional is Cancel.
    virtual std::optional<std::string> OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> InputText(const std::string& caption,
                                                 const std::string& label,
                                                 const std::string& initial) = 0;
    // The standard print dialog; an empty optional is Cancel. Without a dialog to show,
    // nothing is printed.
    virtual std::optional<PrintTarget> PrintDialog() { return std::nullopt; }
};

// The process-wide seam. Until something is installed, messages go to stderr and every
// question is answered with Cancel, so a forgotten installation never blocks.
UserPrompts& Prompts();
// Installs `prompts` (not owned) and returns the one it replaces; nullptr restores the default.
UserPrompts* SetPrompts(UserPrompts* prompts);

// Shorthand for the common box with an OK button and no caption of its own.
inline void ShowMessage(const std::string& text) { Prompts().Message(text, ""); }
