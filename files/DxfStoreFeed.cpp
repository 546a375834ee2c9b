// The DXF import's calls of the store, carried from the reading thread to the store's.
#include "files/DxfStoreFeed.h"

#include "kernel/UserPrompts.h"

DxfStoreFeed::DxfStoreFeed() {
    for (std::size_t i = 0; i < kBlocksAhead + 1; ++i) {
        auto block = std::make_unique<DxfStoreBlock>();
        block->commands.reserve(kBlockCommands);
        empty_.push_back(std::move(block));
    }
    filling_ = std::move(empty_.front());
    empty_.pop_front();
}

DxfStoreCommand& DxfStoreFeed::Add(DxfStoreCommand::Kind kind) {
    if (filling_->commands.size() == kBlockCommands) HandOver();
    DxfStoreCommand& c = filling_->commands.emplace_back();
    c.kind = kind;
    return c;
}

void DxfStoreFeed::Line(double x1, double y1, double x2, double y2) {
    DxfStoreCommand& c = Add(DxfStoreCommand::Line);
    c.v[0] = x1, c.v[1] = y1, c.v[2] = x2, c.v[3] = y2;
}

void DxfStoreFeed::Arc(double cx, double cy, double r, double a0, double a1) {
    DxfStoreCommand& c = Add(DxfStoreCommand::Arc);
    c.v[0] = cx, c.v[1] = cy, c.v[2] = r, c.v[3] = a0, c.v[4] = a1;
}

void DxfStoreFeed::Text(double x, double y, const std::string& text, double height,
                        double angle) {
    DxfStoreCommand& c = Add(DxfStoreCommand::Text);
    c.v[0] = x, c.v[1] = y, c.v[2] = height, c.v[3] = angle;
    c.text = uint32_t(filling_->texts.size());
    filling_->texts.push_back(text);
}

void DxfStoreFeed::Tell(const std::string& message) {
    DxfStoreCommand& c = Add(DxfStoreCommand::Message);
    c.text = uint32_t(filling_->texts.size());
    filling_->texts.push_back(message);
}

void DxfStoreFeed::Flush(int64_t entities) {
    entities_ = entities;
    HandOver();
}

void DxfStoreFeed::Finish(int64_t entities, bool failed) noexcept {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            if (filling_) {
                filling_->entities = entities;
                full_.push_back(std::move(filling_));
            }
        } catch (...) {
            failed = true;  // no memory for the queue's node: the block's commands are lost
        }
        finished_ = true;
        failed_ = failed;
    }
    changed_.notify_all();
}

void DxfStoreFeed::HandOver() {
    std::unique_lock<std::mutex> lock(mutex_);
    filling_->entities = entities_;
    full_.push_back(std::move(filling_));
    changed_.notify_all();
    changed_.wait(lock, [this] { return stop_ || !empty_.empty(); });
    if (stop_) throw Stopped{};
    filling_ = std::move(empty_.front());
    empty_.pop_front();
    filling_->commands.clear();
    filling_->texts.clear();
}

const DxfStoreBlock* DxfStoreFeed::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held_) {
        empty_.push_back(std::move(held_));
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return finished_ || !full_.empty(); });
    if (full_.empty()) return nullptr;
    held_ = std::move(full_.front());
    full_.pop_front();
    return held_.get();
}

void DxfStoreFeed::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
}

void ApplyStoreBlock(const DxfStoreBlock& block, DxfSink& out) {
    for (const DxfStoreCommand& c : block.commands) {
        switch (c.kind) {
            case DxfStoreCommand::Line:
                out.Line(c.v[0], c.v[1], c.v[2], c.v[3]);
                break;
            case DxfStoreCommand::Arc:
                out.Arc(c.v[0], c.v[1], c.v[2], c.v[3], c.v[4]);
                break;
            case DxfStoreCommand::Text:
                out.Text(c.v[0], c.v[1], block.texts[c.text], c.v[2], c.v[3]);
                break;
            case DxfStoreCommand::Message:
                ShowMessage(block.texts[c.text]);
                break;
        }
    }
}
