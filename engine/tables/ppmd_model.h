// The context model of the PPMd coder and its sub-allocator over one fixed block of model memory.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/tables/ppmd_range_coder.h"

namespace viz::ppmd {

// ---- Constants of the model
constexpr unsigned kMaxOrderLimit = 64;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kUnitSize = 12;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);
// Free-list size classes: 4 of 1 unit steps, 4 of 2, 4 of 3, then steps of 4 units up to 128 units.
constexpr unsigned kNumIndexes = 4 + 4 + 4 + (128 + 3 - 1 * 4 - 2 * 4 - 3 * 4) / 4;

constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

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

}  // namespace viz::ppmd
