// Group pairs read and parsed ahead on a thread of their own, handed to the import in blocks.
#include "files/DxfPairFeed.h"

#include <algorithm>
#include <new>

#include "files/DxfReader.h"
#include "model/LargePages.h"

DxfPairFeed::DxfPairFeed(std::function<std::string_view()> next) : next_(std::move(next)) {
    lines_ = std::make_unique<DxfPairReader>(next_);
    for (std::size_t i = 0; i < kBlocksAhead + 1; ++i) {
        auto block = std::make_unique<DxfPairBlock>();
        block->pairs.reserve(kBlockPairs);
        MakeResident(block->pairs.data(), kBlockPairs * sizeof(DxfParsedPair));
        empty_.push_back(std::move(block));
    }
    worker_ = std::thread([this] { Run(); });
}

DxfPairFeed::~DxfPairFeed() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

std::unique_ptr<DxfPairBlock> DxfPairFeed::Fill(std::unique_ptr<DxfPairBlock> block) {
    block->pairs.clear();
    block->bytes.clear();
    block->end = false;
    DxfGroupValue v;
    while (block->pairs.size() < kBlockPairs) {
        const int64_t overlong = lines_->overlongPairs, withoutCode = lines_->pairsWithoutCode;
        const int code = ReadGroupPair(*lines_, v);
        if (code == -1) {
            block->end = true;
            break;
        }
        DxfParsedPair& p = block->pairs.emplace_back();
        p.code = code;
        p.integer = v.integer;
        p.real = v.real;
        p.converted = v.converted;
        p.skipped = lines_->overlongPairs != overlong            ? 1
                    : lines_->pairsWithoutCode != withoutCode ? 2
                                                              : 0;
        if (!v.text.data() && !v.line.data()) continue;
        // The text is a part of the line where both are given; the bytes of the two are kept
        // once, from the first of them to the last.
        const char* from = v.line.data() ? v.line.data() : v.text.data();
        const char* to = from + v.line.size();
        if (v.text.data()) {
            from = std::min(from, v.text.data());
            to = std::max(to, v.text.data() + v.text.size());
        }
        const auto at = uint32_t(block->bytes.size());
        block->bytes.append(from, std::size_t(to - from));
        if (v.text.data()) {
            p.textAt = at + uint32_t(v.text.data() - from);
            p.textSize = uint32_t(v.text.size());
        }
        if (v.line.data()) {
            p.lineAt = at + uint32_t(v.line.data() - from);
            p.lineSize = uint32_t(v.line.size());
        }
    }
    return block;
}

void DxfPairFeed::Run() {
    for (;;) {
        std::unique_ptr<DxfPairBlock> block;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || !empty_.empty(); });
            if (stop_) return;
            block = std::move(empty_.front());
            empty_.pop_front();
        }
        bool end = false;
        try {
            block = Fill(std::move(block));
            end = block->end;
        } catch (...) {
            // Out of memory while reading ahead (nothing else throws there): the data ends
            // here, as at a failed read.
            block->pairs.clear();
            block->end = end = true;
            block->failed = true;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            full_.push_back(std::move(block));
        }
        changed_.notify_all();
        if (end) return;
    }
}

const DxfPairBlock* DxfPairFeed::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held_) {
        if (held_->end) return held_.get();  // the end stays the end
        empty_.push_back(std::move(held_));
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !full_.empty(); });
    held_ = std::move(full_.front());
    full_.pop_front();
    return held_.get();
}
