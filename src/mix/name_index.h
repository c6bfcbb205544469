// An archive's entries found by name the way patches name them: ASCII case ignored,
// a name ending at its first NUL, and of several matches the first in list order.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mix/mix_file.h"

class NameIndex {
public:
    // Built once for a list; every later lookup costs the same whatever the list's length.
    explicit NameIndex(std::vector<MixArchiveEntry*> entries);

    // The first listed entry whose name matches (NamesMatch), or null.
    MixArchiveEntry* First(const char* name) const;

    // Takes the first match out of the list, with every other listing of that same entry.
    void RemoveFirst(const char* name);
    // Lists entry last.
    void Append(MixArchiveEntry* entry);
    // Every position ever listed, in order: those the index was built from, then
    // those appended; and whether each is listed still.
    std::uint32_t size() const { return static_cast<std::uint32_t>(list_.size()); }
    MixArchiveEntry* At(std::uint32_t position) const { return list_[position]; }
    bool Listed(std::uint32_t position) const;

    // Of the entries the index was built from, the first whose name matches a later
    // one's, and the first such later one; nulls when every name is distinct.
    std::pair<MixArchiveEntry*, MixArchiveEntry*> FirstDuplicate() const { return duplicate_; }

private:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};

    // The listings of one name, linked in list order through next_.
    struct Chain {
        std::uint32_t hash;
        std::uint32_t key;  // a position, ever listed under this name, that spells it
        std::uint32_t head;
        std::uint32_t tail;
    };

    // The chain of name, or null.
    Chain* Find(const char* name, std::uint32_t hash);
    const Chain* Find(const char* name, std::uint32_t hash) const;
    // Lists position last under its entry's name; returns the name's chain number.
    std::uint32_t Link(std::uint32_t position);
    void Grow();

    std::vector<MixArchiveEntry*> list_;
    std::vector<std::uint32_t> next_;
    std::vector<Chain> chains_;
    // Open addressing: chain numbers, kNone where free; never more than half full.
    std::vector<std::uint32_t> slots_;
    // An entry taken out when the list was n long is unlisted at every position before
    // n; removals are few, so this stays small.
    std::unordered_map<const MixArchiveEntry*, std::uint32_t> removedBefore_;
    std::pair<MixArchiveEntry*, MixArchiveEntry*> duplicate_{nullptr, nullptr};
};

// A few names, matched as NameIndex matches them, for picking out of a long list the
// entries that they might name.
class NameSet {
public:
    // The names must outlive the set.
    explicit NameSet(const std::vector<const char*>& names);

    bool Holds(const char* name) const;

private:
    // Open addressing, at most a quarter full, so that most names not held meet an
    // empty slot at once.
    std::vector<std::pair<std::uint32_t, const char*>> slots_;
};
