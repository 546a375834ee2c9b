// Small types shared by the TMan2Man component, its threads and the application.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class TMan2Man;

// Who speaks a chat-pane line or whose name is asked for.
enum WhoIs : uint8_t { wiMe = 0, wiPartner = 1, wiMaster = 2 };

// What a chat-pane line reports.
enum ChatEvent : uint8_t { ceArrived = 0, ceLeft = 1, ceChat = 2 };

// The index RegiStruct returns for a registration.
using RegiDataTag = int;

// Raised for misuse of the component (a duplicate structure ID, a message with an unregistered
// ID); its message, UTF-8, begins "TMMコンポーネントで例外が発生しました。".
class TMan2ManException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The last chat-pane event. Texts are Shift-JIS bytes.
struct ChatBox {
    ChatEvent event = ceArrived;
    WhoIs who = wiMe;
    std::string message;  // raw text given with the event
    std::string line;     // composed chat-pane line
};
