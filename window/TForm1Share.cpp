// The main window's sharing: record packing, applying a partner's records, and the handlers of the
// connect button, the chat entry and the component's events.
#include "window/TForm1Share.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <cmath>
#include <cstring>

#include "kernel/Elements.h"
#include "kernel/Mcalc.h"
#include "files/DacFile.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"
#include "net/TMan2ManDialogs.h"
#include "window/SyncRecords.h"
#include "window/TForm1.h"

namespace {

void PutInt(uint8_t* record, size_t offset, int32_t value) {
    const auto bits = uint32_t(value);
    for (int i = 0; i < 4; ++i) record[offset + size_t(i)] = uint8_t(bits >> (8 * i));
}

void PutDouble(uint8_t* record, size_t offset, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) record[offset + size_t(i)] = uint8_t(bits >> (8 * i));
}

int32_t GetInt(const uint8_t* record, size_t offset) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= uint32_t(record[offset + size_t(i)]) << (8 * i);
    return int32_t(bits);
}

double GetDouble(const uint8_t* record, size_t offset) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(record[offset + size_t(i)]) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The colour box's sixteen colours.
constexpr int32_t kPaletteColours = 16;

// What the store may take from a partner: what a drawing file could hold, so that the drawing
// can be saved and read back whole.
bool Storable(int32_t colour, std::initializer_list<double> values) {
    if (colour < 0 || colour >= kPaletteColours) return false;
    for (double v : values)
        if (!(std::fabs(v) <= kDacMaxMagnitude)) return false;  // NaN fails too
    return true;
}

}  // namespace

void PackLineShare(int32_t operation, const LineElement& line, LineShareBytes& record) {
    record.fill(0);
    PutInt(record.data(), 0, operation);
    PutInt(record.data(), 4, line.colour);
    PutDouble(record.data(), 24, line.x1);
    PutDouble(record.data(), 32, line.y1);
    PutDouble(record.data(), 40, line.x2);
    PutDouble(record.data(), 48, line.y2);
}

void PackCircleShare(int32_t operation, const CircleElement& circle, CircleShareBytes& record) {
    record.fill(0);
    PutInt(record.data(), 0, operation);
    PutInt(record.data(), 4, circle.colour);
    PutDouble(record.data(), 24, circle.cx);
    PutDouble(record.data(), 32, circle.cy);
    PutDouble(record.data(), 40, circle.radius);
    PutDouble(record.data(), 48, circle.startAngle);
    PutDouble(record.data(), 56, circle.endAngle);
}

LineShare UnpackLineShare(const LineShareBytes& record) {
    const uint8_t* p = record.data();
    return {GetInt(p, 0),     GetInt(p, 4),     GetDouble(p, 24),
            GetDouble(p, 32), GetDouble(p, 40), GetDouble(p, 48)};
}

CircleShare UnpackCircleShare(const CircleShareBytes& record) {
    const uint8_t* p = record.data();
    return {GetInt(p, 0),     GetInt(p, 4),     GetDouble(p, 24), GetDouble(p, 32),
            GetDouble(p, 40), GetDouble(p, 48), GetDouble(p, 56)};
}

bool ApplyLineShare(DrawingStore& store, const LineShare& r) {
    if (!Storable(r.colour, {r.x1, r.y1, r.x2, r.y2})) return false;
    if (r.operation == 1) {
        // The partner's colour goes in through the current slot, and the user's own colour
        // comes back for what the user draws next.
        const int32_t own = store.currentLine().colour;
        store.SetCurrentColour(r.colour);
        store.AddLine(r.x1, r.y1, r.x2, r.y2, 0);
        store.SetCurrentColour(own);
        return true;
    }
    if (r.operation != 0) return true;
    for (int32_t i = 0; i <= store.lineTop; ++i) {
        const LineElement& l = store.line(i);
        if (l.alive && SamePoint(l.x1, l.y1, r.x1, r.y1) && SamePoint(l.x2, l.y2, r.x2, r.y2)) {
            store.DeleteLine(i, 0);
            return true;
        }
    }
    return true;
}

bool ApplyCircleShare(DrawingStore& store, const CircleShare& r) {
    if (!Storable(r.colour, {r.cx, r.cy, r.radius, r.startAngle, r.endAngle})) return false;
    if (r.operation == 1) {
        const int32_t own = store.currentCircle().colour;
        store.SetCurrentColour(r.colour);
        store.AddCircle(r.cx, r.cy, r.radius, r.startAngle, r.endAngle, 0);
        store.SetCurrentColour(own);
        return true;
    }
    if (r.operation != 0) return true;
    for (int32_t i = 0; i <= store.circleTop; ++i) {
        const CircleElement& c = store.circle(i);
        if (c.alive && SamePoint(c.cx, c.cy, r.cx, r.cy) &&
            SamePoint(c.startAngle, c.endAngle, r.startAngle, r.endAngle) && c.radius == r.radius) {
            store.DeleteCircle(i, 0);
            return true;
        }
    }
    return true;
}

// ---- The main window's side ----

void TForm1::WireSharing() {
    man2man.SetMasterName("Master");
    man2man.OnGuestArrived = [this](TMan2Man* s, bool isHost) { man2manGuestArrived(s, isHost); };
    man2man.OnGuestLalabye = [this](TMan2Man* s) { man2manGuestLalabye(s); };
    man2man.OnChatComming = [this](TMan2Man* s) { man2manChatComming(s); };
    man2man.OnRegiDataComming = [this](TMan2Man* s, RegiDataTag tag) {
        man2manRegiDataComming(s, tag);
    };
    man2man.OnLostConnection = [this](TMan2Man* s) { man2manLostConnection(s); };
    man2man.OnFreeDataComming = [this](TMan2Man* s, const void* p, unsigned n) {
        man2manFreeDataComming(s, p, n);
    };
    WireSync();
    man2man.OnNotice = [this](TMan2Man*, const std::string& text) {
        Memo1->appendPlainText(QString::fromStdString(text));
    };
    store.shareLine = [this](int op, int32_t index, const LineElement& l) {
        if (!Edit6->isEnabled()) return;
        if (sync.Shares())
            return sync.Local(op == 1 ? syncwire::kLineAdd : syncwire::kLineDelete, index);
        PackLineShare(op, l, LineShareRecord);
        man2man.SendRegiData(LineShareTag, false);
    };
    store.shareCircle = [this](int op, int32_t index, const CircleElement& c) {
        if (!Edit6->isEnabled()) return;
        if (sync.Shares())
            return sync.Local(op == 1 ? syncwire::kCircleAdd : syncwire::kCircleDelete, index);
        PackCircleShare(op, c, CircleShareRecord);
        man2man.SendRegiData(CircleShareTag, false);
    };
}

void TForm1::RegisterShareRecords() {
    LineShareTag = man2man.RegiStruct(LineShareRecord.data(), kLineShareSize, kLineShareId);
    CircleShareTag = man2man.RegiStruct(CircleShareRecord.data(), kCircleShareSize, kCircleShareId);
}

void TForm1::UnwireSharing() {
    man2man.OnGuestArrived = nullptr;
    man2man.OnGuestLalabye = nullptr;
    man2man.OnChatComming = nullptr;
    man2man.OnRegiDataComming = nullptr;
    man2man.OnLostConnection = nullptr;
    man2man.OnFreeDataComming = nullptr;
    man2man.OnNotice = nullptr;
    sync.send = nullptr;
    sync.hostOffers = nullptr;
    sync.progress = nullptr;
    sync.complete = nullptr;
    sync.disagree = nullptr;
    sync.retake = nullptr;
    store.shareLine = nullptr;
    store.shareCircle = nullptr;
}

void TForm1::ShowConnectedNames() {
    Label6->setText(man2man::FromSjis(man2man.GetPlayerName(wiMe)) + QStringLiteral(" to ") +
                    man2man::FromSjis(man2man.GetPlayerName(wiPartner)));
}

void TForm1::ShowUnconnected() {
    Edit6->setEnabled(false);
    Label6->setText(QStringLiteral("通信状況"));
    Button("SpeedButton34")->setText(QStringLiteral("接続"));
}

void TForm1::SpeedButton34Click() {
    QToolButton* button = Button("SpeedButton34");
    if (button->text() == QStringLiteral("接続")) {
        Memo1->clear();
        refusedShares = 0;
        if (!man2man.LetsConnect(kKorvoApplicationGuid)) return;
        Memo1->appendPlainText(man2man.Protected()
                                   ? QStringLiteral("この接続は合言葉で守られています。")
                                   : QStringLiteral("この接続には合言葉がありません。"
                                                    "ネットワーク上の誰でも参加できます。"));
        Edit6->setEnabled(true);
        ShowConnectedNames();
        button->setText(QStringLiteral("切断"));
        return;
    }
    man2man.Disconnect();
    ShowUnconnected();
}

void TForm1::Edit6KeyDown(int key) {
    if (key != 13) return;
    man2man.SendChat(man2man::ToSjis(Edit6->text()));
    Edit6->setText(QString());
}

void TForm1::man2manGuestArrived(TMan2Man*, bool IsHost) {
    StartSync(IsHost);
    ShowConnectedNames();
    setWindowTitle(IsHost ? QStringLiteral("HOST") : QStringLiteral("CLIENT"));
}

void TForm1::man2manGuestLalabye(TMan2Man*) {
    sync.Stop();
    // After a failed recovery the component says goodbye only once the window has gone
    // back to its unconnected state; the names would hide that state.
    if (Edit6->isEnabled()) ShowConnectedNames();
    setWindowTitle(QStringLiteral("Korvo"));
}

void TForm1::man2manChatComming(TMan2Man* Sender) {
    Memo1->appendPlainText(man2man::FromSjis(Sender->ReadChat()));
}

void TForm1::man2manRegiDataComming(TMan2Man*, RegiDataTag DataTag) {
    // Once both keep the drawing by identities, such a record is not one of the changes.
    if (!sync.TakesDesignedRecords()) return;
    bool taken = true;
    if (DataTag == LineShareTag)
        taken = ApplyLineShare(store, UnpackLineShare(LineShareRecord));
    else if (DataTag == CircleShareTag)
        taken = ApplyCircleShare(store, UnpackCircleShare(CircleShareRecord));
    if (!taken) NoteRefused(1);
}

void TForm1::NoteRefused(int64_t count) {
    if (count <= 0) return;
    refusedShares += int(count);
    Memo1->appendPlainText(
        QStringLiteral("相手から届いた図形を取り込みませんでした（値か色が範囲外、%1 個目）。")
            .arg(refusedShares));
}

void TForm1::man2manLostConnection(TMan2Man*) {
    if (man2man.RecoverConnection(20000)) {
        Prompts().Message("接続は回復しました。", "成功", PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    Prompts().Message("接続は回復しませんでした。", "失敗", PromptButtons::Ok, PromptIcon::Warning);
    ShowUnconnected();
}

void TForm1::FormCloseQuery(QObject*, bool& CanClose) {
    CanClose = !Edit6->isEnabled();
    if (!CanClose)
        Prompts().Message("現在通信中です。", "警告", PromptButtons::Ok, PromptIcon::Warning);
}
