// Group pairs read and parsed ahead on a thread of their own, handed to the import in blocks.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "files/DxfPairBlock.h"

class DxfPairReader;

// Runs the line and pair reading of a chunked source on a worker thread. Blocks go through a
// short queue (the memory stays a few blocks whatever the file's size) and come back to be
// filled again once read. Destroying the feed stops the worker and waits for it, also in
// the middle of the data (a cancelled load).
class DxfPairFeed {
public:
    explicit DxfPairFeed(std::function<std::string_view()> next);
    ~DxfPairFeed();
    DxfPairFeed(const DxfPairFeed&) = delete;
    DxfPairFeed& operator=(const DxfPairFeed&) = delete;

    // The next block, waiting for it; the block given before goes back to the worker.
    const DxfPairBlock* Take();

private:
    static constexpr std::size_t kBlockPairs = 4096;
    static constexpr std::size_t kBlocksAhead = 8;
    void Run();
    std::unique_ptr<DxfPairBlock> Fill(std::unique_ptr<DxfPairBlock> block);

    std::function<std::string_view()> next_;
    std::unique_ptr<DxfPairReader> lines_;  // used by the worker only
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<DxfPairBlock>> full_, empty_;
    std::unique_ptr<DxfPairBlock> held_;  // the block the import reads now
    bool stop_ = false;
    std::thread worker_;
};
