#include "archive/ArchiveDiff.h"

#include <algorithm>
#include <deque>
#include <string>
#include <unordered_map>

#include "archive/ArchiveFormat.h"

namespace archive {
namespace {

bool MarkedOnce(const std::string& plain, const std::string& marked) {
  return marked.size() == plain.size() + kSupersededMarkSize &&
         marked.compare(0, plain.size(), plain) == 0 &&
         marked.compare(plain.size(), kSupersededMarkSize, kSupersededMark) == 0;
}

class Pairing {
 public:
  Pairing(const Examination& a, const Examination& b, const SameData& same_data)
      : a_(a.entries), b_(b.entries), same_data_(same_data),
        a_paired_(a_.size(), false), b_paired_(b_.size(), false) {}

  std::vector<EntryDifference> Run() {
    PairByPosition();
    PairByName();
    for (std::size_t i = 0; i < a_.size(); ++i) {
      if (!a_paired_[i]) Add(DifferenceKind::kRemoved, &a_[i], nullptr);
    }
    for (std::size_t j = 0; j < b_.size(); ++j) {
      if (!b_paired_[j]) Add(DifferenceKind::kAdded, nullptr, &b_[j]);
    }
    std::stable_sort(differences_.begin(), differences_.end(),
                     [](const EntryDifference& x, const EntryDifference& y) { return x.kind < y.kind; });
    return differences_;
  }

 private:
  void PairByPosition() {
    for (std::size_t p = 0; p < std::min(a_.size(), b_.size()); ++p) {
      const std::string& a_name = a_[p].name;
      const std::string& b_name = b_[p].name;
      if (a_name == b_name) {
        Pair(p, p, DifferenceKind::kChanged);
      } else if (MarkedOnce(a_name, b_name) || MarkedOnce(b_name, a_name)) {
        Pair(p, p, DifferenceKind::kRenamed);
      }
    }
  }

  // Each unpaired entry of A takes the first unpaired entry of B with its
  // name, through a queue per name: linear in the entries, however many.
  void PairByName() {
    std::unordered_map<std::string, std::deque<std::size_t>> unpaired_b;
    for (std::size_t j = 0; j < b_.size(); ++j) {
      if (!b_paired_[j]) unpaired_b[b_[j].name].push_back(j);
    }
    for (std::size_t i = 0; i < a_.size(); ++i) {
      if (a_paired_[i]) continue;
      const auto found = unpaired_b.find(a_[i].name);
      if (found == unpaired_b.end() || found->second.empty()) continue;
      Pair(i, found->second.front(), DifferenceKind::kMoved);
      found->second.pop_front();
    }
  }

  // kChanged and kMoved pairs are left out when nothing but the position
  // they share differs.
  void Pair(std::size_t i, std::size_t j, DifferenceKind kind) {
    a_paired_[i] = true;
    b_paired_[j] = true;
    const bool differs = a_[i].size != b_[j].size || !same_data_(a_[i], b_[j]);
    if (kind == DifferenceKind::kChanged && !differs) return;
    differences_.push_back({kind, &a_[i], &b_[j], differs});
  }

  void Add(DifferenceKind kind, const ExaminedEntry* a, const ExaminedEntry* b) {
    differences_.push_back({kind, a, b, false});
  }

  const std::vector<ExaminedEntry>& a_;
  const std::vector<ExaminedEntry>& b_;
  const SameData& same_data_;
  std::vector<bool> a_paired_;
  std::vector<bool> b_paired_;
  std::vector<EntryDifference> differences_;
};

}  // namespace

std::vector<EntryDifference> DiffArchives(const Examination& a, const Examination& b,
                                          const SameData& same_data) {
  return Pairing(a, b, same_data).Run();
}

const char* DifferenceWord(DifferenceKind kind) {
  switch (kind) {
    case DifferenceKind::kChanged: return "changed";
    case DifferenceKind::kMoved: return "moved";
    case DifferenceKind::kRenamed: return "renamed";
    case DifferenceKind::kAdded: return "added";
    case DifferenceKind::kRemoved: return "removed";
  }
  return "changed";
}

}  // namespace archive
