#include "mix/name_index.h"

#include "mix/patch_descriptor.h"

namespace {

// Of the bytes NamesMatch compares, so that matching names hash alike.
std::uint32_t FoldedHash(const char* name) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (; *name != '\0'; ++name) {
        hash = (hash ^ static_cast<unsigned char>(FoldedAscii(*name))) * 16777619u;
    }
    return hash;
}

}  // namespace

NameIndex::NameIndex(std::vector<MixArchiveEntry*> entries)
    : list_(std::move(entries)), next_(list_.size(), kNone) {
    chains_.reserve(list_.size());
    std::size_t slots = 16;
    while (slots < 2 * list_.size()) slots *= 2;
    slots_.assign(slots, kNone);
    std::uint32_t firstDuplicate = kNone;
    for (std::uint32_t position = 0; position < list_.size(); ++position) {
        // A chain gaining its second listing names a duplicate; its head is the first
        // entry of a pair, and the earliest such head the first pair in list order.
        const Chain& chain = chains_[Link(position)];
        if (next_[chain.head] == position && chain.head < firstDuplicate) {
            firstDuplicate = chain.head;
        }
    }
    if (firstDuplicate != kNone) duplicate_ = {list_[firstDuplicate], list_[next_[firstDuplicate]]};
}

MixArchiveEntry* NameIndex::First(const char* name) const {
    const Chain* chain = Find(name, FoldedHash(name));
    return chain == nullptr || chain->head == kNone ? nullptr : list_[chain->head];
}

void NameIndex::RemoveFirst(const char* name) {
    Chain* chain = Find(name, FoldedHash(name));
    if (chain == nullptr || chain->head == kNone) return;
    // Every listing of one entry carries its name, so all of them are in this chain;
    // those behind the head are skipped when they reach it.
    removedBefore_[list_[chain->head]] = static_cast<std::uint32_t>(list_.size());
    while (chain->head != kNone && !Listed(chain->head)) chain->head = next_[chain->head];
    if (chain->head == kNone) chain->tail = kNone;
}

void NameIndex::Append(MixArchiveEntry* entry) {
    list_.push_back(entry);
    next_.push_back(kNone);
    Link(static_cast<std::uint32_t>(list_.size() - 1));
}

NameIndex::Chain* NameIndex::Find(const char* name, std::uint32_t hash) {
    return const_cast<Chain*>(static_cast<const NameIndex*>(this)->Find(name, hash));
}

const NameIndex::Chain* NameIndex::Find(const char* name, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == kNone) return nullptr;
        const Chain& chain = chains_[slots_[slot]];
        if (chain.hash == hash && NamesMatch(list_[chain.key]->name, name)) return &chain;
    }
}

std::uint32_t NameIndex::Link(std::uint32_t position) {
    const char* name = list_[position]->name;
    const std::uint32_t hash = FoldedHash(name);
    if (Chain* chain = Find(name, hash)) {
        if (chain->head == kNone) {
            chain->head = position;
        } else {
            next_[chain->tail] = position;
        }
        chain->tail = position;
        return static_cast<std::uint32_t>(chain - chains_.data());
    }
    if (2 * (chains_.size() + 1) > slots_.size()) Grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    while (slots_[slot] != kNone) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<std::uint32_t>(chains_.size());
    chains_.push_back({hash, position, position, position});
    return static_cast<std::uint32_t>(chains_.size() - 1);
}

void NameIndex::Grow() {
    slots_.assign(2 * slots_.size(), kNone);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint32_t number = 0; number < chains_.size(); ++number) {
        std::size_t slot = chains_[number].hash & mask;
        while (slots_[slot] != kNone) slot = (slot + 1) & mask;
        slots_[slot] = number;
    }
}

bool NameIndex::Listed(std::uint32_t position) const {
    if (removedBefore_.empty()) return true;
    const auto removed = removedBefore_.find(list_[position]);
    return removed == removedBefore_.end() || position >= removed->second;
}

NameSet::NameSet(const std::vector<const char*>& names) {
    std::size_t size = 16;
    while (size < 4 * names.size()) size *= 2;
    slots_.assign(size, {0, nullptr});
    for (const char* name : names) {
        const std::uint32_t hash = FoldedHash(name);
        std::size_t slot = hash & (size - 1);
        while (slots_[slot].second != nullptr) slot = (slot + 1) & (size - 1);
        slots_[slot] = {hash, name};
    }
}

bool NameSet::Holds(const char* name) const {
    const std::uint32_t hash = FoldedHash(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask; slots_[slot].second != nullptr; slot = (slot + 1) & mask) {
        if (slots_[slot].first == hash && NamesMatch(slots_[slot].second, name)) return true;
    }
    return false;
}
