// What the DXF import sends to the store, recorded on the reading thread and handed to the
// thread that owns the store in blocks.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "files/DxfSink.h"

// One call of the sink, or a message for the user, in the order the import made them.
struct DxfStoreCommand {
    enum Kind : uint8_t { Line, Arc, Text, Message };
    Kind kind = Line;
    uint32_t text = 0;  // Text and Message: the place of the string in the block's texts
    double v[5] = {};   // Line: x1 y1 x2 y2; Arc: cx cy r a0 a1; Text: x y height angle
};

struct DxfStoreBlock {
    std::vector<DxfStoreCommand> commands;
    std::vector<std::string> texts;
    int64_t entities = 0;  // entities the import had read when it handed the block over
};

// The sink the import writes to on its own thread. A block goes over when it is full or when
// the import hands it over (Flush, as each chunk of the file is read, so that the progress
// shown moves on whatever the file holds); a short queue keeps the memory at a few blocks
// whatever the file's size. Stop() (the reader of the blocks gives up, a cancelled load)
// makes the import's next call throw Stopped, which its thread catches.
class DxfStoreFeed final : public DxfSink {
public:
    struct Stopped {};

    DxfStoreFeed();
    DxfStoreFeed(const DxfStoreFeed&) = delete;
    DxfStoreFeed& operator=(const DxfStoreFeed&) = delete;

    // The import's side. Flush hands the block over with the count of entities read.
    void Line(double x1, double y1, double x2, double y2) override;
    void Arc(double cx, double cy, double r, double a0, double a1) override;
    void Text(double x, double y, const std::string& text, double height, double angle) override;
    void Tell(const std::string& message);
    void Flush(int64_t entities);
    // The import has finished (`failed`: memory ran out on its thread); the last block goes
    // over. Never throws.
    void Finish(int64_t entities, bool failed) noexcept;

    // The store's side: the next block, waiting for it (the one given before is used
    // again); null once the import has finished and every block has been taken.
    const DxfStoreBlock* Take();
    bool failed() const { return failed_; }  // once Take has returned null
    void Stop();

private:
    static constexpr std::size_t kBlockCommands = 4096;
    static constexpr std::size_t kBlocksAhead = 4;
    DxfStoreCommand& Add(DxfStoreCommand::Kind kind);
    void HandOver();

    std::unique_ptr<DxfStoreBlock> filling_;  // the import's
    int64_t entities_ = 0;                    // the import's: the count last flushed
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<DxfStoreBlock>> full_, empty_;
    std::unique_ptr<DxfStoreBlock> held_;  // the block the store's side reads now
    bool stop_ = false;
    bool finished_ = false;
    bool failed_ = false;
};

// Applies a block's commands to `out` (the store's sink); messages go to the user.
void ApplyStoreBlock(const DxfStoreBlock& block, DxfSink& out);
