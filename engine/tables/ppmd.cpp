#include "engine/tables/ppmd.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/storage/memory_manager.h"

namespace viz {
namespace {

// ---- Constants of the model
constexpr unsigned kMaxOrderLimit = 64;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kUnitSize = 12;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);
// Free-list size classes: 4 of 1 unit steps, 4 of 2, 4 of 3, then steps of 4 units up to 128 units.
constexpr unsigned kNumIndexes = 4 + 4 + 4 + (128 + 3 - 1 * 4 - 2 * 4 - 3 * 4) / 4;
constexpr uint32_t kVariantTag = 'G' - 'A';

constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

// ---- Range coder (carry-less): the interval [low, low + range) never crosses 2^32.
constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBot = 1u << 15;

// Records of the model memory. Contexts and states overlay each other and free-list links (a
// context with one symbol keeps that state in place of its frequency sum and statistics reference),
// hence may_alias. All references are 32-bit offsets from the memory base; 0 is null.
struct __attribute__((may_alias)) State {
  uint8_t symbol;
  uint8_t freq;
  uint16_t successorLow;
  uint16_t successorHigh;
};
static_assert(sizeof(State) == 6);

struct __attribute__((may_alias)) Context {
  uint16_t numStats;
  uint16_t summFreq;
  uint32_t stats;
  uint32_t suffix;
};
static_assert(sizeof(Context) == kUnitSize);

struct __attribute__((may_alias)) FreeLink {
  uint32_t next;
};

// Secondary escape estimation: an adaptive average of escape frequencies.
struct See {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;

  // Returns the current escape estimate and lowers the sum by it.
  uint32_t Mean() {
    unsigned r = summ >> shift;
    summ = static_cast<uint16_t>(summ - r);
    return r + (r == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<uint16_t>(summ << 1);
      count = static_cast<uint8_t>(3 << shift++);
    }
  }
};

inline uint32_t Successor(const State* s) {
  return s->successorLow | (static_cast<uint32_t>(s->successorHigh) << 16);
}
inline void SetSuccessor(State* s, uint32_t v) {
  s->successorLow = static_cast<uint16_t>(v & 0xFFFF);
  s->successorHigh = static_cast<uint16_t>(v >> 16);
}
inline State* OneState(Context* c) {
  return reinterpret_cast<State*>(&c->summFreq);
}
inline void SwapStates(State* a, State* b) {
  State t = *a;
  *a = *b;
  *b = t;
}

class RangeEncoder {
 public:
  RangeEncoder(uint8_t* buffer, size_t capacity, size_t position)
      : buffer_(buffer), capacity_(capacity), position_(position) {}

  // Returns false when the interval cannot be split that finely.
  bool Encode(uint32_t start, uint32_t size, uint32_t total) {
    uint32_t r = range_ / total;
    if (r == 0) return false;
    low_ += start * r;
    range_ = size * r;
    Normalize();
    return !failed_;
  }
  bool Flush() {
    for (int i = 0; i < 4; i++) {
      Put(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
    }
    return !failed_;
  }
  uint8_t* buffer() const { return buffer_; }
  size_t position() const { return position_; }

 private:
  void Normalize() {
    while ((low_ ^ (low_ + range_)) < kTop ||
           (range_ < kBot && ((range_ = (0u - low_) & (kBot - 1)), true))) {
      Put(static_cast<uint8_t>(low_ >> 24));
      range_ <<= 8;
      low_ <<= 8;
    }
  }
  // The buffer grows by a quarter when full; when it cannot, the coder fails.
  void Put(uint8_t byte) {
    if (failed_) return;
    if (position_ == capacity_) {
      void* block = buffer_;
      size_t grown = capacity_ + capacity_ / 4 + 256;
      try {
        MemoryManager().ReallocMem(block, grown);
      } catch (...) {
        failed_ = true;
        return;
      }
      buffer_ = static_cast<uint8_t*>(block);
      capacity_ = grown;
    }
    buffer_[position_++] = byte;
  }

  uint8_t* buffer_;
  size_t capacity_;
  size_t position_;
  bool failed_ = false;
  uint32_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

class RangeDecoder {
 public:
  RangeDecoder(const uint8_t* input, size_t size) : input_(input), size_(size) {
    for (int i = 0; i < 4; i++) code_ = (code_ << 8) | Get();
  }

  // Returns the count of the coded value within [0, total), or false when the data is impossible.
  bool Threshold(uint32_t total, uint32_t& count) {
    range_ /= total;
    if (range_ == 0) return false;
    count = (code_ - low_) / range_;
    return count < total;
  }
  void Decode(uint32_t start, uint32_t size) {
    low_ += start * range_;
    range_ *= size;
    Normalize();
  }
  // A proper coded buffer is never read past its end; a few bytes are tolerated as zeros.
  bool Overrun() const { return overrun_ > 4; }

 private:
  void Normalize() {
    while ((low_ ^ (low_ + range_)) < kTop ||
           (range_ < kBot && ((range_ = (0u - low_) & (kBot - 1)), true))) {
      code_ = (code_ << 8) | Get();
      range_ <<= 8;
      low_ <<= 8;
    }
  }
  uint8_t Get() {
    if (position_ < size_) return input_[position_++];
    ++overrun_;
    return 0;
  }

  const uint8_t* input_;
  size_t size_;
  size_t position_ = 0;
  size_t overrun_ = 0;
  uint32_t low_ = 0;
  uint32_t code_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

// The context model with its sub-allocator. The memory is split into a text area growing upwards
// from the base (raw symbols that successors point into until a context is built for them) and a
// unit area of 12-byte units: contexts are taken downwards from its top, statistics upwards from
// its bottom, and freed blocks go to free lists by size class.
class Model {
 public:
  Model() {
    for (unsigned i = 0, k = 0; i < kNumIndexes; i++) {
      unsigned step = (i >= 12 ? 4 : (i >> 2) + 1);
      do {
        units2Indx_[k++] = static_cast<uint8_t>(i);
      } while (--step);
      indx2Units_[i] = static_cast<uint8_t>(k);
    }
    ns2BSIndx_[0] = 0 << 1;
    ns2BSIndx_[1] = 1 << 1;
    std::memset(ns2BSIndx_ + 2, 2 << 1, 9);
    std::memset(ns2BSIndx_ + 11, 3 << 1, 256 - 11);
    unsigned i = 0;
    for (; i < 3; i++) ns2Indx_[i] = static_cast<uint8_t>(i);
    for (unsigned m = i, k = 1; i < 256; i++) {
      ns2Indx_[i] = static_cast<uint8_t>(m);
      if (--k == 0) k = (++m) - 2;
    }
    std::memset(hb2Flag_, 0, 0x40);
    std::memset(hb2Flag_ + 0x40, 8, 0x100 - 0x40);
  }
  ~Model() { Release(); }

  // Makes sure the model memory has `size` bytes; keeps the current block when it already has.
  bool Reserve(uint32_t size) {
    if (base_ != nullptr && size_ == size) return true;
    Release();
    try {
      alignOffset_ = 4 - (size & 3);
      base_ = static_cast<uint8_t*>(MemoryManager().GetMem(alignOffset_ + size + kUnitSize));
    } catch (...) {
      base_ = nullptr;
      return false;
    }
    size_ = size;
    return true;
  }

  void Init(unsigned maxOrder) {
    maxOrder_ = maxOrder;
    RestartModel();
    dummySee_.shift = kPeriodBits;
    dummySee_.summ = 0;
    dummySee_.count = 64;
  }

  bool EncodeSymbol(RangeEncoder& rc, int symbol);
  // Returns the symbol, -1 for the end mark, -2 for data the decoder rejects.
  int DecodeSymbol(RangeDecoder& rc);

 private:
  uint8_t* Ptr(uint32_t ref) const { return base_ + ref; }
  uint32_t Ref(const void* p) const { return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - base_); }
  Context* Ctx(uint32_t ref) const { return reinterpret_cast<Context*>(base_ + ref); }
  State* Stats(const Context* c) const { return reinterpret_cast<State*>(base_ + c->stats); }
  Context* Suffix(const Context* c) const { return Ctx(c->suffix); }
  unsigned I2U(unsigned indx) const { return indx2Units_[indx]; }
  unsigned U2I(unsigned nu) const { return units2Indx_[nu - 1]; }
  static uint32_t U2B(unsigned nu) { return nu * kUnitSize; }

  void Release() {
    if (base_ != nullptr) {
      void* block = base_;
      MemoryManager().FreeAndNillMem(block);
      base_ = nullptr;
    }
  }

  void InsertNode(void* node, unsigned indx) {
    reinterpret_cast<FreeLink*>(node)->next = freeList_[indx];
    freeList_[indx] = Ref(node);
  }
  void* RemoveNode(unsigned indx) {
    FreeLink* node = reinterpret_cast<FreeLink*>(Ptr(freeList_[indx]));
    freeList_[indx] = node->next;
    return node;
  }
  // Frees the tail of a block of class oldIndx beyond the first I2U(newIndx) units.
  void SplitBlock(void* ptr, unsigned oldIndx, unsigned newIndx) {
    unsigned nu = I2U(oldIndx) - I2U(newIndx);
    uint8_t* p = static_cast<uint8_t*>(ptr) + U2B(I2U(newIndx));
    unsigned i = U2I(nu);
    if (I2U(i) != nu) {
      unsigned k = I2U(--i);
      InsertNode(p + U2B(k), nu - k - 1);
    }
    InsertNode(p, i);
  }
  void InsertRun(uint8_t* p, unsigned nu) {
    for (; nu > 128; nu -= 128, p += U2B(128)) InsertNode(p, kNumIndexes - 1);
    unsigned i = U2I(nu);
    if (I2U(i) != nu) {
      unsigned k = I2U(--i);
      InsertNode(p + U2B(k), nu - k - 1);
    }
    InsertNode(p, i);
  }
  void GlueFreeBlocks();
  void* AllocUnitsRare(unsigned indx);
  void* AllocUnits(unsigned indx) {
    if (freeList_[indx] != 0) return RemoveNode(indx);
    uint32_t numBytes = U2B(I2U(indx));
    if (numBytes <= static_cast<uint32_t>(hiUnit_ - loUnit_)) {
      void* result = loUnit_;
      loUnit_ += numBytes;
      return result;
    }
    return AllocUnitsRare(indx);
  }
  void* ShrinkUnits(void* oldPtr, unsigned oldNU, unsigned newNU) {
    unsigned i0 = U2I(oldNU);
    unsigned i1 = U2I(newNU);
    if (i0 == i1) return oldPtr;
    if (freeList_[i1] != 0) {
      void* ptr = RemoveNode(i1);
      std::memcpy(ptr, oldPtr, U2B(newNU));
      InsertNode(oldPtr, i0);
      return ptr;
    }
    SplitBlock(oldPtr, i0, i1);
    return oldPtr;
  }

  void RestartModel();
  Context* CreateSuccessors(bool skip);
  void UpdateModel();
  void Rescale();
  See* MakeEscFreq(unsigned numMasked, uint32_t& escFreq);
  uint16_t* BinSumm() {
    State* s = OneState(minContext_);
    hiBitsFlag_ = hb2Flag_[foundState_->symbol];
    return &binSumm_[s->freq - 1][prevSuccess_ + ns2BSIndx_[Suffix(minContext_)->numStats - 1] + hiBitsFlag_ +
                                  2 * hb2Flag_[s->symbol] + ((runLength_ >> 26) & 0x20)];
  }
  void NextContext() {
    Context* c = Ctx(Successor(foundState_));
    if (orderFall_ == 0 && reinterpret_cast<uint8_t*>(c) > text_)
      minContext_ = maxContext_ = c;
    else
      UpdateModel();
  }
  void Update1() {
    State* s = foundState_;
    s->freq += 4;
    minContext_->summFreq += 4;
    if (s[0].freq > s[-1].freq) {
      SwapStates(&s[0], &s[-1]);
      foundState_ = --s;
      if (s->freq > kMaxFreq) Rescale();
    }
    NextContext();
  }
  void Update1First() {
    prevSuccess_ = (2 * foundState_->freq > minContext_->summFreq);
    runLength_ += prevSuccess_;
    minContext_->summFreq += 4;
    if ((foundState_->freq += 4) > kMaxFreq) Rescale();
    NextContext();
  }
  void UpdateBin() {
    foundState_->freq = static_cast<uint8_t>(foundState_->freq + (foundState_->freq < 128 ? 1 : 0));
    prevSuccess_ = 1;
    runLength_++;
    NextContext();
  }
  void Update2() {
    foundState_->freq += 4;
    minContext_->summFreq += 4;
    if (foundState_->freq > kMaxFreq) Rescale();
    runLength_ = initRL_;
    UpdateModel();
  }

  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;
  uint32_t alignOffset_ = 0;
  uint8_t* loUnit_ = nullptr;
  uint8_t* hiUnit_ = nullptr;
  uint8_t* text_ = nullptr;
  uint8_t* unitsStart_ = nullptr;
  uint32_t glueCount_ = 0;
  uint32_t freeList_[kNumIndexes] = {};
  uint8_t indx2Units_[kNumIndexes] = {};
  uint8_t units2Indx_[128] = {};

  Context* minContext_ = nullptr;
  Context* maxContext_ = nullptr;
  State* foundState_ = nullptr;
  unsigned orderFall_ = 0;
  unsigned initEsc_ = 0;
  unsigned prevSuccess_ = 0;
  unsigned maxOrder_ = 0;
  unsigned hiBitsFlag_ = 0;
  int32_t runLength_ = 0;
  int32_t initRL_ = 0;

  uint8_t ns2Indx_[256] = {};
  uint8_t ns2BSIndx_[256] = {};
  uint8_t hb2Flag_[256] = {};
  See dummySee_ = {};
  See see_[25][16] = {};
  uint16_t binSumm_[128][64] = {};
};

void Model::RestartModel() {
  std::memset(freeList_, 0, sizeof(freeList_));
  text_ = base_ + alignOffset_;
  hiUnit_ = text_ + size_;
  loUnit_ = unitsStart_ = hiUnit_ - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glueCount_ = 0;

  orderFall_ = maxOrder_;
  runLength_ = initRL_ = -static_cast<int32_t>(maxOrder_ < 12 ? maxOrder_ : 12) - 1;
  prevSuccess_ = 0;

  hiUnit_ -= kUnitSize;
  minContext_ = maxContext_ = reinterpret_cast<Context*>(hiUnit_);
  minContext_->suffix = 0;
  minContext_->numStats = 256;
  minContext_->summFreq = 256 + 1;
  foundState_ = reinterpret_cast<State*>(loUnit_);
  loUnit_ += U2B(256 / 2);
  minContext_->stats = Ref(foundState_);
  for (unsigned i = 0; i < 256; i++) {
    State* s = &foundState_[i];
    s->symbol = static_cast<uint8_t>(i);
    s->freq = 1;
    SetSuccessor(s, 0);
  }
  for (unsigned i = 0; i < 128; i++)
    for (unsigned k = 0; k < 8; k++) {
      uint16_t value = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
      for (unsigned m = 0; m < 64; m += 8) binSumm_[i][k + m] = value;
    }
  for (unsigned i = 0; i < 25; i++)
    for (unsigned k = 0; k < 16; k++) {
      See* s = &see_[i][k];
      s->shift = kPeriodBits - 4;
      s->summ = static_cast<uint16_t>((5 * i + 10) << s->shift);
      s->count = 4;
    }
}

// Merges adjacent free blocks so that larger requests can be served again.
void Model::GlueFreeBlocks() {
  glueCount_ = 255;
  struct Block {
    uint32_t ref;
    uint32_t units;
  };
  std::vector<Block> blocks;
  for (unsigned i = 0; i < kNumIndexes; i++) {
    for (uint32_t next = freeList_[i]; next != 0; next = reinterpret_cast<FreeLink*>(Ptr(next))->next)
      blocks.push_back({next, I2U(i)});
    freeList_[i] = 0;
  }
  std::sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.ref < b.ref; });
  size_t i = 0;
  while (i < blocks.size()) {
    uint32_t start = blocks[i].ref;
    uint32_t units = blocks[i].units;
    size_t j = i + 1;
    while (j < blocks.size() && blocks[j].ref == start + U2B(units)) units += blocks[j++].units;
    // A run that ends where the unused gap begins joins the gap instead of a free list.
    if (Ptr(start + U2B(units)) == loUnit_)
      loUnit_ = Ptr(start);
    else
      InsertRun(Ptr(start), units);
    i = j;
  }
}

void* Model::AllocUnitsRare(unsigned indx) {
  if (glueCount_ == 0) {
    GlueFreeBlocks();
    if (freeList_[indx] != 0) return RemoveNode(indx);
    uint32_t numBytes = U2B(I2U(indx));
    if (numBytes <= static_cast<uint32_t>(hiUnit_ - loUnit_)) {
      void* result = loUnit_;
      loUnit_ += numBytes;
      return result;
    }
  }
  unsigned i = indx;
  do {
    if (++i == kNumIndexes) {
      uint32_t numBytes = U2B(I2U(indx));
      glueCount_--;
      if (static_cast<uint32_t>(unitsStart_ - text_) > numBytes) {
        unitsStart_ -= numBytes;
        return unitsStart_;
      }
      return nullptr;
    }
  } while (freeList_[i] == 0);
  void* result = RemoveNode(i);
  SplitBlock(result, i, indx);
  return result;
}

Context* Model::CreateSuccessors(bool skip) {
  Context* c = minContext_;
  uint32_t upBranch = Successor(foundState_);
  State* ps[kMaxOrderLimit];
  unsigned numPs = 0;
  if (!skip) ps[numPs++] = foundState_;

  while (c->suffix != 0) {
    c = Suffix(c);
    State* s;
    if (c->numStats != 1) {
      for (s = Stats(c); s->symbol != foundState_->symbol; s++) {
      }
    } else {
      s = OneState(c);
    }
    uint32_t successor = Successor(s);
    if (successor != upBranch) {
      c = Ctx(successor);
      if (numPs == 0) return c;
      break;
    }
    ps[numPs++] = s;
  }

  State upState;
  upState.symbol = *Ptr(upBranch);
  SetSuccessor(&upState, upBranch + 1);
  if (c->numStats == 1) {
    upState.freq = OneState(c)->freq;
  } else {
    State* s;
    for (s = Stats(c); s->symbol != upState.symbol; s++) {
    }
    uint32_t cf = s->freq - 1u;
    uint32_t s0 = c->summFreq - c->numStats - cf;
    upState.freq =
        static_cast<uint8_t>(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((2 * cf + 3 * s0 - 1) / (2 * s0))));
  }

  do {
    Context* c1;
    if (hiUnit_ != loUnit_) {
      hiUnit_ -= kUnitSize;
      c1 = reinterpret_cast<Context*>(hiUnit_);
    } else if (freeList_[0] != 0) {
      c1 = static_cast<Context*>(RemoveNode(0));
    } else {
      c1 = static_cast<Context*>(AllocUnitsRare(0));
      if (c1 == nullptr) return nullptr;
    }
    c1->numStats = 1;
    *OneState(c1) = upState;
    c1->suffix = Ref(c);
    SetSuccessor(ps[--numPs], Ref(c1));
    c = c1;
  } while (numPs != 0);
  return c;
}

void Model::UpdateModel() {
  uint32_t fSuccessor = Successor(foundState_);
  if (foundState_->freq < kMaxFreq / 4 && minContext_->suffix != 0) {
    Context* c = Suffix(minContext_);
    if (c->numStats == 1) {
      State* s = OneState(c);
      if (s->freq < 32) s->freq++;
    } else {
      State* s = Stats(c);
      if (s->symbol != foundState_->symbol) {
        do {
          s++;
        } while (s->symbol != foundState_->symbol);
        if (s[0].freq >= s[-1].freq) {
          SwapStates(&s[0], &s[-1]);
          s--;
        }
      }
      if (s->freq < kMaxFreq - 9) {
        s->freq += 2;
        c->summFreq += 2;
      }
    }
  }

  if (orderFall_ == 0) {
    minContext_ = maxContext_ = CreateSuccessors(true);
    if (minContext_ == nullptr) {
      RestartModel();
      return;
    }
    SetSuccessor(foundState_, Ref(minContext_));
    return;
  }

  *text_++ = foundState_->symbol;
  uint32_t successor = Ref(text_);
  if (text_ >= unitsStart_) {
    RestartModel();
    return;
  }

  if (fSuccessor != 0) {
    // A successor inside the text area is a raw position: build its contexts now.
    if (fSuccessor <= successor) {
      Context* cs = CreateSuccessors(false);
      if (cs == nullptr) {
        RestartModel();
        return;
      }
      fSuccessor = Ref(cs);
    }
    if (--orderFall_ == 0) {
      successor = fSuccessor;
      text_ -= (maxContext_ != minContext_);
    }
  } else {
    SetSuccessor(foundState_, successor);
    fSuccessor = Ref(minContext_);
  }

  unsigned ns = minContext_->numStats;
  unsigned s0 = minContext_->summFreq - ns - (foundState_->freq - 1u);

  for (Context* c = maxContext_; c != minContext_; c = Suffix(c)) {
    unsigned ns1 = c->numStats;
    if (ns1 != 1) {
      if ((ns1 & 1) == 0) {
        unsigned oldNU = ns1 >> 1;
        unsigned i = U2I(oldNU);
        if (i != U2I(oldNU + 1)) {
          void* ptr = AllocUnits(i + 1);
          if (ptr == nullptr) {
            RestartModel();
            return;
          }
          void* oldPtr = Stats(c);
          std::memcpy(ptr, oldPtr, U2B(oldNU));
          InsertNode(oldPtr, i);
          c->stats = Ref(ptr);
        }
      }
      c->summFreq = static_cast<uint16_t>(c->summFreq + (2 * ns1 < ns) +
                                          2 * ((4 * ns1 <= ns) & (c->summFreq <= 8 * ns1)));
    } else {
      State* s = static_cast<State*>(AllocUnits(0));
      if (s == nullptr) {
        RestartModel();
        return;
      }
      *s = *OneState(c);
      c->stats = Ref(s);
      if (s->freq < kMaxFreq / 4 - 1)
        s->freq = static_cast<uint8_t>(s->freq << 1);
      else
        s->freq = kMaxFreq - 4;
      c->summFreq = static_cast<uint16_t>(s->freq + initEsc_ + (ns > 3));
    }
    uint32_t cf = 2 * static_cast<uint32_t>(foundState_->freq) * (c->summFreq + 6);
    uint32_t sf = static_cast<uint32_t>(s0) + c->summFreq;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      c->summFreq += 3;
    } else {
      cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
      c->summFreq = static_cast<uint16_t>(c->summFreq + cf);
    }
    State* s = Stats(c) + ns1;
    SetSuccessor(s, successor);
    s->symbol = foundState_->symbol;
    s->freq = static_cast<uint8_t>(cf);
    c->numStats = static_cast<uint16_t>(ns1 + 1);
  }
  maxContext_ = minContext_ = Ctx(fSuccessor);
}

// Halves the frequencies of the current context, keeps its states sorted by frequency and drops
// states whose frequency reaches 0.
void Model::Rescale() {
  State* stats = Stats(minContext_);
  State* s = foundState_;
  if (s != stats) {
    State tmp = *s;
    do {
      s[0] = s[-1];
    } while (--s != stats);
    *s = tmp;
  }
  unsigned escFreq = minContext_->summFreq - s->freq;
  s->freq += 4;
  unsigned adder = (orderFall_ != 0);
  s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
  unsigned sumFreq = s->freq;

  unsigned i = minContext_->numStats - 1;
  do {
    escFreq -= (++s)->freq;
    s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
    sumFreq += s->freq;
    if (s[0].freq > s[-1].freq) {
      State* s1 = s;
      State tmp = *s1;
      do {
        s1[0] = s1[-1];
      } while (--s1 != stats && tmp.freq > s1[-1].freq);
      *s1 = tmp;
    }
  } while (--i);

  if (s->freq == 0) {
    unsigned numStats = minContext_->numStats;
    do {
      i++;
    } while ((--s)->freq == 0);
    escFreq += i;
    minContext_->numStats = static_cast<uint16_t>(minContext_->numStats - i);
    if (minContext_->numStats == 1) {
      State tmp = *stats;
      do {
        tmp.freq = static_cast<uint8_t>(tmp.freq - (tmp.freq >> 1));
        escFreq >>= 1;
      } while (escFreq > 1);
      InsertNode(stats, U2I((numStats + 1) >> 1));
      *(foundState_ = OneState(minContext_)) = tmp;
      return;
    }
    unsigned n0 = (numStats + 1) >> 1;
    unsigned n1 = (minContext_->numStats + 1) >> 1;
    if (n0 != n1) minContext_->stats = Ref(ShrinkUnits(stats, n0, n1));
  }
  minContext_->summFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
  foundState_ = Stats(minContext_);
}

See* Model::MakeEscFreq(unsigned numMasked, uint32_t& escFreq) {
  unsigned nonMasked = minContext_->numStats - numMasked;
  if (minContext_->numStats != 256) {
    See* see = see_[ns2Indx_[nonMasked - 1]] +
               (nonMasked < static_cast<unsigned>(Suffix(minContext_)->numStats) - minContext_->numStats) +
               2 * static_cast<unsigned>(minContext_->summFreq < 11 * minContext_->numStats) +
               4 * static_cast<unsigned>(numMasked > nonMasked) + hiBitsFlag_;
    escFreq = see->Mean();
    return see;
  }
  escFreq = 1;
  return &dummySee_;
}

bool Model::EncodeSymbol(RangeEncoder& rc, int symbol) {
  bool masked[256];
  if (minContext_->numStats != 1) {
    State* s = Stats(minContext_);
    if (s->symbol == symbol) {
      if (!rc.Encode(0, s->freq, minContext_->summFreq)) return false;
      foundState_ = s;
      Update1First();
      return true;
    }
    prevSuccess_ = 0;
    uint32_t sum = s->freq;
    unsigned i = minContext_->numStats - 1;
    do {
      if ((++s)->symbol == symbol) {
        if (!rc.Encode(sum, s->freq, minContext_->summFreq)) return false;
        foundState_ = s;
        Update1();
        return true;
      }
      sum += s->freq;
    } while (--i);
    hiBitsFlag_ = hb2Flag_[foundState_->symbol];
    std::memset(masked, 0, sizeof(masked));
    masked[s->symbol] = true;
    i = minContext_->numStats - 1;
    do {
      masked[(--s)->symbol] = true;
    } while (--i);
    if (!rc.Encode(sum, minContext_->summFreq - sum, minContext_->summFreq)) return false;
  } else {
    uint16_t* prob = BinSumm();
    State* s = OneState(minContext_);
    if (s->symbol == symbol) {
      if (!rc.Encode(0, *prob, kBinScale)) return false;
      *prob = static_cast<uint16_t>(*prob + (1 << kIntBits) -
                                    ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
      foundState_ = s;
      UpdateBin();
      return true;
    }
    if (!rc.Encode(*prob, kBinScale - *prob, kBinScale)) return false;
    *prob = static_cast<uint16_t>(*prob - ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
    initEsc_ = kExpEscape[*prob >> 10];
    std::memset(masked, 0, sizeof(masked));
    masked[s->symbol] = true;
    prevSuccess_ = 0;
  }
  for (;;) {
    unsigned numMasked = minContext_->numStats;
    do {
      orderFall_++;
      if (minContext_->suffix == 0) return symbol < 0;  // escaped out of every context: the end mark
      minContext_ = Suffix(minContext_);
    } while (minContext_->numStats == numMasked);

    uint32_t escFreq;
    See* see = MakeEscFreq(numMasked, escFreq);
    State* s = Stats(minContext_);
    uint32_t sum = 0;
    unsigned i = minContext_->numStats;
    do {
      int cur = s->symbol;
      if (cur == symbol) {
        uint32_t low = sum;
        State* s1 = s;
        do {
          if (!masked[s->symbol]) sum += s->freq;
          s++;
        } while (--i);
        if (!rc.Encode(low, s1->freq, sum + escFreq)) return false;
        see->Update();
        foundState_ = s1;
        Update2();
        return true;
      }
      if (!masked[cur]) sum += s->freq;
      masked[cur] = true;
      s++;
    } while (--i);
    if (!rc.Encode(sum, escFreq, sum + escFreq)) return false;
    see->summ = static_cast<uint16_t>(see->summ + sum + escFreq);
  }
}

int Model::DecodeSymbol(RangeDecoder& rc) {
  bool masked[256];
  uint32_t count;
  if (minContext_->numStats != 1) {
    State* s = Stats(minContext_);
    if (!rc.Threshold(minContext_->summFreq, count)) return -2;
    uint32_t hiCnt = s->freq;
    if (count < hiCnt) {
      rc.Decode(0, s->freq);
      foundState_ = s;
      int symbol = s->symbol;
      Update1First();
      return symbol;
    }
    prevSuccess_ = 0;
    unsigned i = minContext_->numStats - 1;
    do {
      if ((hiCnt += (++s)->freq) > count) {
        rc.Decode(hiCnt - s->freq, s->freq);
        foundState_ = s;
        int symbol = s->symbol;
        Update1();
        return symbol;
      }
    } while (--i);
    hiBitsFlag_ = hb2Flag_[foundState_->symbol];
    rc.Decode(hiCnt, minContext_->summFreq - hiCnt);
    std::memset(masked, 0, sizeof(masked));
    masked[s->symbol] = true;
    i = minContext_->numStats - 1;
    do {
      masked[(--s)->symbol] = true;
    } while (--i);
  } else {
    uint16_t* prob = BinSumm();
    if (!rc.Threshold(kBinScale, count)) return -2;
    if (count < *prob) {
      rc.Decode(0, *prob);
      *prob = static_cast<uint16_t>(*prob + (1 << kIntBits) -
                                    ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
      foundState_ = OneState(minContext_);
      int symbol = foundState_->symbol;
      UpdateBin();
      return symbol;
    }
    rc.Decode(*prob, kBinScale - *prob);
    *prob = static_cast<uint16_t>(*prob - ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
    initEsc_ = kExpEscape[*prob >> 10];
    std::memset(masked, 0, sizeof(masked));
    masked[OneState(minContext_)->symbol] = true;
    prevSuccess_ = 0;
  }
  for (;;) {
    unsigned numMasked = minContext_->numStats;
    do {
      orderFall_++;
      if (minContext_->suffix == 0) return -1;
      minContext_ = Suffix(minContext_);
    } while (minContext_->numStats == numMasked);

    State* ps[256];
    uint32_t hiCnt = 0;
    State* s = Stats(minContext_);
    unsigned i = 0;
    for (unsigned k = minContext_->numStats; k != 0; k--, s++) {
      if (!masked[s->symbol]) {
        hiCnt += s->freq;
        ps[i++] = s;
      }
    }
    if (i == 0) return -2;

    uint32_t freqSum;
    See* see = MakeEscFreq(numMasked, freqSum);
    freqSum += hiCnt;
    if (!rc.Threshold(freqSum, count)) return -2;
    if (count < hiCnt) {
      State** pps = ps;
      for (hiCnt = 0; (hiCnt += (*pps)->freq) <= count; pps++) {
      }
      s = *pps;
      rc.Decode(hiCnt - s->freq, s->freq);
      see->Update();
      foundState_ = s;
      int symbol = s->symbol;
      Update2();
      return symbol;
    }
    rc.Decode(hiCnt, freqSum - hiCnt);
    see->summ = static_cast<uint16_t>(see->summ + freqSum);
    do {
      masked[ps[--i]->symbol] = true;
    } while (i != 0);
  }
}

// The one model of the process, its memory kept between calls.
std::mutex& ModelMutex() {
  static std::mutex mutex;
  return mutex;
}
Model& SharedModel() {
  static Model model;
  return model;
}

constexpr uint32_t kMaxMemoryMiB = 256;

}  // namespace

PpmdParameters PpmdParametersForMode(int mode) {
  static constexpr PpmdParameters kByMode[9] = {{2, 2},  {3, 3},   {4, 7},    {5, 16},  {7, 22},
                                                {8, 25}, {10, 40}, {13, 100}, {16, 100}};
  if (mode < 1) mode = 1;
  if (mode > 9) mode = 9;
  return kByMode[mode - 1];
}

bool PpmdCompress(const void* input, size_t size, PpmdParameters parameters, size_t initialCapacity,
                  void*& output, size_t& outputSize) {
  output = nullptr;
  outputSize = 0;
  if (size == 0 || parameters.order < 2 || parameters.order > 16 || parameters.memoryMiB < 1 ||
      parameters.memoryMiB > kMaxMemoryMiB)
    return false;
  std::lock_guard<std::mutex> guard(ModelMutex());
  Model& model = SharedModel();
  if (!model.Reserve(parameters.memoryMiB << 20)) return false;
  model.Init(parameters.order);

  if (initialCapacity < 8) initialCapacity = 8;
  void* block = nullptr;
  try {
    block = MemoryManager().GetMem(initialCapacity);
  } catch (...) {
    return false;
  }
  uint32_t header = (kVariantTag << 12) + ((parameters.memoryMiB - 1) << 4) + (parameters.order - 1);
  uint8_t* bytes = static_cast<uint8_t*>(block);
  for (int i = 0; i < 4; i++) bytes[i] = static_cast<uint8_t>(header >> (8 * i));
  RangeEncoder rc(bytes, initialCapacity, 4);
  const uint8_t* in = static_cast<const uint8_t*>(input);
  bool ok = true;
  for (size_t i = 0; i < size && ok; i++) ok = model.EncodeSymbol(rc, in[i]);
  if (ok) ok = model.EncodeSymbol(rc, -1);
  if (ok) ok = rc.Flush();
  block = rc.buffer();
  if (!ok) {
    MemoryManager().FreeAndNillMem(block);
    return false;
  }
  output = block;
  outputSize = rc.position();
  return true;
}

bool PpmdDecompress(const void* input, size_t size, void* output, size_t capacity, size_t& outputSize) {
  outputSize = 0;
  if (size < 4) return false;
  const uint8_t* in = static_cast<const uint8_t*>(input);
  uint32_t header = in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
  if ((header >> 12) != kVariantTag) return false;
  unsigned order = (header & 0xF) + 1;
  unsigned memoryMiB = ((header >> 4) & 0xFF) + 1;
  if (order < 2) return false;

  std::lock_guard<std::mutex> guard(ModelMutex());
  Model& model = SharedModel();
  if (!model.Reserve(memoryMiB << 20)) return false;
  model.Init(order);
  RangeDecoder rc(in + 4, size - 4);
  uint8_t* out = static_cast<uint8_t*>(output);
  size_t produced = 0;
  for (;;) {
    int symbol = model.DecodeSymbol(rc);
    if (symbol == -1) break;
    if (symbol < 0 || produced == capacity || rc.Overrun()) return false;
    out[produced++] = static_cast<uint8_t>(symbol);
  }
  if (rc.Overrun()) return false;
  outputSize = produced;
  return true;
}

}  // namespace viz
