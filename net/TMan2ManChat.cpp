// TMan2Man: chat lines, the live check and the recovery of a lost partner.
#include <QDialog>
#include <cstring>

#include "net/TMan2Man.h"
#include "net/TMan2ManMessages.h"
#include "net/TReDlg.h"

using namespace man2man;

namespace {
// The component's own words, in Shift-JIS as they go to the chat pane.
const char kWelcome[] = " >> \x82\xe6\x82\xa4\x82\xb1\x82\xbb\x81\x41";            // " >> ようこそ、"
const char kSan[] = "\x82\xb3\x82\xf1\x81\x42";                                      // "さん。"
const char kComeAgain[] = " >> \x82\xdc\x82\xbd\x97\x88\x82\xc4\x82\xcb\x81\x42";  // " >> また来てね。"
const char kSays[] = " >> ";
const char kHasCome[] = "\x82\xb3\x82\xf1\x82\xaa\x97\x88\x82\xdc\x82\xb5\x82\xbd\x81\x42";  // "さんが来ました。"
const char kHasLeft[] =
    "\x82\xb3\x82\xf1\x82\xaa\x8b\x41\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81\x42";  // "さんが帰りました。"
}  // namespace

// ---------------------------------------------------------------------------------------
// Chat

bool TMan2Man::SendChat(const std::string& text) {
    if (!connected || lost) return false;
    if (text.empty()) return true;
    const size_t total = text.size() + 9;
    if (total > 0xFFFFFFFFu - 100 || !ResizeDataPool(3, unsigned(total))) return false;
    uint8_t* message = dataPool[3].block.get();
    WriteWord(message, 0, kChatMessage);
    WriteWord(message, 4, uint32_t(total));
    std::memcpy(message + 8, text.data(), text.size());
    message[8 + text.size()] = 0;
    const bool sent = MySend(message, total, true);
    if (sent) MakeChatBox(ceChat, wiMe, text);
    return sent;
}

namespace {
// A partner's text is shown on one line of the log: a line break in it could make the rest
// look like a line of ours. No second byte of a Shift-JIS character is a control character,
// so they can be replaced byte by byte.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return text;
}
}  // namespace

void TMan2Man::ChatGet(const uint8_t* message, size_t size) {
    const auto* text = reinterpret_cast<const char*>(message + 8);
    MakeChatBox(ceChat, wiPartner, OneLine(std::string(text, strnlen(text, size - 8))));
}

void TMan2Man::MakeChatBox(ChatEvent event, WhoIs who, const std::string& text) {
    if (event == ceChat && text.empty()) return;
    chatBox.event = event;
    chatBox.who = who;
    chatBox.message = text;
    if (event == ceArrived && who == wiMe)
        chatBox.line = masterName + kWelcome + GetPlayerName(wiMe) + kSan;
    else if (event == ceArrived && who == wiPartner)
        chatBox.line = masterName + kSays + GetPlayerName(wiPartner) + kHasCome;
    else if (event == ceLeft && who == wiMe)
        chatBox.line = masterName + kComeAgain;
    else if (event == ceLeft && who == wiPartner)
        chatBox.line = masterName + kSays + GetPlayerName(wiPartner) + kHasLeft;
    else if (event == ceChat)
        chatBox.line = GetPlayerName(who) + " > " + text;
    // The partner's name comes from the partner as well.
    chatBox.line = OneLine(chatBox.line);
    Fire(OnChatComming);
}

void TMan2Man::ReadChatEx(ChatEvent& event, WhoIs& who, std::string& text) const {
    event = chatBox.event;
    who = chatBox.who;
    text = chatBox.message;
}

// ---------------------------------------------------------------------------------------
// Liveness

bool TMan2Man::SendLiveChecker() {
    ProbeMessage probe(kLiveCheckerMessage);
    ++liveChecksSent;
    return MySend(probe.bytes, sizeof probe.bytes, false);
}

void TMan2Man::SomethingReceived() {
    if (!aliveTimer) return;
    aliveTimer->SetEnabled(false);
    aliveTimer->SetInterval(2 * liveCheckInterval + providerTimeout);
    // Without a partner there is nobody whose silence could be noticed.
    if (liveCheckInterval != 0 && connected) aliveTimer->SetEnabled(true);
}

void TMan2Man::SomethingSent() {
    // Also reached from the checker thread, which has always ended before the event goes.
    if (sentEvent) sentEvent->Set();
}

void TMan2Man::AliveTimerTimer() {
    aliveTimer->SetEnabled(false);
    // A recovery under way already knows the partner is lost.
    if (lost || !connected) return;
    PartnerLost();
}

void TMan2Man::PartnerLost() {
    if (aliveTimer) aliveTimer->SetEnabled(false);
    lost = true;
    Fire(OnLostConnection);
    if (lost) Disconnect();
}

// ---------------------------------------------------------------------------------------
// Recovery

bool TMan2Man::RecoverConnection(unsigned timeout) {
    if (!lost || !connected || recovering) return false;
    recoveryEvent->Reset();
    int result;
    {
        recovering = true;
        TReDlg dialog(nullptr, timeout, recoveryEvent, [this] { return SendRecoveryChecker(); });
        result = dialog.exec();
        recovering = false;
    }
    // The connection may have ended while the dialog was open.
    if (!initialized || !connected) return false;
    if (result != QDialog::Accepted) return false;
    lost = false;
    aliveTimer->SetEnabled(true);
    SomethingReceived();
    return true;
}

bool TMan2Man::SendRecoveryChecker() {
    if (!initialized) return false;
    ProbeMessage probe(kRecoveryCheckerMessage);
    return MySend(probe.bytes, sizeof probe.bytes, false);
}
