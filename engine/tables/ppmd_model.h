// The context model of the PPMd coder and its sub-allocator over one fixed block of model memory.
//
// Model memory is a sequence of 12-byte units addressed by 32-bit offsets from the block's base
// (offset 0 is null), whatever the pointer size of the build:
//
//   record   | bytes | content
//   context  | 12    | u16 number of symbols, then either (u16 frequency sum, u32 statistics,
//            |       | u32 suffix) or, for a one-symbol context, (state, u32 suffix)
//   state    | 6     | u8 symbol, u8 frequency, u32 successor (two states per unit)
//   raw unit | 12    | u16 0, then a state whose symbol is a byte of the coded text and whose
//            |       | successor is the raw unit of the next byte, u32 unused (the suffix once
//            |       | the raw unit has become a context)
//
// Raw units hold the text that successors point into until a context is built for them; they
// are allocated one by one as the text grows and linked to each other. A raw unit has the layout
// of a one-symbol context whose state is already the one the context built from it will hold, so
// when that context is of the maximal order the raw unit itself becomes it. One more unit past the
// end of the model memory, the parking unit, takes the text bytes that nothing will read back.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/tables/ppmd_range_coder.h"

namespace viz::ppmd {

// ---- Constants of the model
constexpr unsigned kMaxOrderLimit = 16;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kUnitSize = 12;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);
// Free-list size classes: 4 of 1 unit steps, 4 of 2, 4 of 3, then steps of 4 units up to 128 units.
constexpr unsigned kNumIndexes = 4 + 4 + 4 + (128 + 3 - 1 * 4 - 2 * 4 - 3 * 4) / 4;
// Units held back until memory first runs out: 128 blocks of 128 units.
constexpr unsigned kReserveBlocks = 128;
constexpr unsigned kSeeRows = 43;

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

// Secondary escape estimation: an adaptive average of the escape frequencies seen in a class of
// contexts with masked symbols.
struct See {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;

  void Init(unsigned value) {
    shift = kPeriodBits - 4;
    summ = static_cast<uint16_t>(value << shift);
    count = 3;
  }
  // Returns the current escape estimate and lowers the sum by it.
  uint32_t Mean() {
    unsigned r = summ >> shift;
    summ = static_cast<uint16_t>(summ - r);
    r &= 0x3FF;
    return r + (r == 0);
  }
  void Update() {
    if (shift < kPeriodBits && --count == 0) {
      summ = static_cast<uint16_t>(summ << 1);
      count = static_cast<uint8_t>(3 << shift++);
    }
  }
};

// Units of 12 bytes in one block: contexts are taken downwards from the top of the free gap,
// statistics upwards from its bottom, and freed blocks go to free lists by size class. A request
// that neither its free list nor the gap can serve splits a larger free block; when none is left,
// the reserve is released once, and after that the request fails.
class SubAllocator {
 public:
  SubAllocator();
  ~SubAllocator() { Release(); }
  SubAllocator(const SubAllocator&) = delete;
  SubAllocator& operator=(const SubAllocator&) = delete;

  //! Makes sure the memory has `size` bytes; keeps the current block when it already has.
  //! Returns false when the block cannot be had.
  bool Reserve(uint32_t size);
  //! Empties the memory: every unit is free again and the reserve is held back.
  void Init();

  uint8_t* Base() const { return base_; }
  //! The unit just past the model memory: never allocated, free for the model to use as it likes.
  uint32_t ParkingUnit() const { return kUnitSize + U2B(size_ / kUnitSize); }
  //! Each returns the offset of the block, 0 when memory has run out.
  uint32_t AllocContext() {
    if (hi_ != lo_) return hi_ -= kUnitSize;
    if (freeList_[0] != 0) return RemoveNode(0);
    return AllocUnitsRare(0);
  }
  uint32_t AllocUnits(unsigned indx) {
    if (freeList_[indx] != 0) return RemoveNode(indx);
    uint32_t numBytes = U2B(I2U(indx));
    if (numBytes <= hi_ - lo_) {
      uint32_t result = lo_;
      lo_ += numBytes;
      return result;
    }
    return AllocUnitsRare(indx);
  }
  //! Moves `oldNU` units into a block with room for one more state pair.
  uint32_t ExpandUnits(uint32_t old, unsigned oldNU);
  uint32_t ShrinkUnits(uint32_t old, unsigned oldNU, unsigned newNU);
  void FreeUnits(uint32_t ref, unsigned nu) { InsertNode(ref, U2I(nu)); }
  unsigned U2I(unsigned nu) const { return units2Indx_[nu - 1]; }
  unsigned I2U(unsigned indx) const { return indx2Units_[indx]; }

 private:
  static uint32_t U2B(unsigned nu) { return nu * kUnitSize; }
  void InsertNode(uint32_t node, unsigned indx) {
    reinterpret_cast<FreeLink*>(base_ + node)->next = freeList_[indx];
    freeList_[indx] = node;
  }
  uint32_t RemoveNode(unsigned indx) {
    uint32_t node = freeList_[indx];
    freeList_[indx] = reinterpret_cast<FreeLink*>(base_ + node)->next;
    return node;
  }
  void SplitBlock(uint32_t ptr, unsigned oldIndx, unsigned newIndx);
  uint32_t AllocUnitsRare(unsigned indx);
  void Release();

  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;
  uint32_t lo_ = 0;
  uint32_t hi_ = 0;
  uint32_t reserve_ = 0;  // offset of the held-back units, 0 once released
  uint32_t freeList_[kNumIndexes] = {};
  uint8_t indx2Units_[kNumIndexes] = {};
  uint8_t units2Indx_[128] = {};
};

// The context model: prediction by partial matching with information inheritance and secondary
// escape estimation, started as if the text were preceded by zero bytes.
class Model {
 public:
  Model();

  //! Makes sure the model memory has `size` bytes (kept between calls when it already has).
  bool Reserve(uint32_t size) { return alloc_.Reserve(size); }
  //! Starts a new model of order `maxOrder` (2..16).
  void Init(unsigned maxOrder);

  //! Codes one symbol, or the end mark for symbol -1. Returns false when the coder fails.
  bool EncodeSymbol(RangeEncoder& rc, int symbol);
  //! Returns the symbol, -1 for the end mark, -2 for data the decoder rejects.
  int DecodeSymbol(RangeDecoder& rc);

 private:
  Context* Ctx(uint32_t ref) const { return reinterpret_cast<Context*>(base_ + ref); }
  State* Stats(const Context* c) const { return reinterpret_cast<State*>(base_ + c->stats); }
  Context* Suffix(const Context* c) const { return Ctx(c->suffix); }
  uint32_t Ref(const void* p) const {
    return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - base_);
  }
  // A successor that is not yet a context: the raw unit of the text byte that followed.
  bool IsRaw(uint32_t ref) const { return Ctx(ref)->numStats == 0; }
  bool IsContext(uint32_t ref) const { return ref != 0 && Ctx(ref)->numStats != 0; }

  void RestartModel();
  uint32_t NewRawUnit();
  uint32_t AppendText(uint8_t symbol, bool park);
  Context* CreateSuccessors(bool skip);
  void UpdateModel();
  void Rescale();
  State* FindState(Context* c, unsigned symbol) const;
  See* MakeEscFreq(unsigned numMasked, uint32_t& escFreq);
  uint16_t* BinSumm() {
    State* s = OneState(minContext_);
    return &binSumm_[s->freq - 1][prevSuccess_ + ns2BSIndx_[Suffix(minContext_)->numStats - 1]];
  }
  void NextContext() {
    uint32_t successor = Successor(foundState_);
    if (orderFall_ == 0 && IsContext(successor))
      minContext_ = maxContext_ = Ctx(successor);
    else
      UpdateModel();
  }
  void Update1() {
    State* s = foundState_;
    s->freq = static_cast<uint8_t>(s->freq + 4);
    minContext_->summFreq = static_cast<uint16_t>(minContext_->summFreq + 4);
    if (s[0].freq > s[-1].freq) {
      SwapStates(&s[0], &s[-1]);
      foundState_ = --s;
      if (s->freq > kMaxFreq) Rescale();
    }
    NextContext();
  }
  void Update1First() {
    prevSuccess_ = (2u * foundState_->freq > minContext_->summFreq);
    minContext_->summFreq = static_cast<uint16_t>(minContext_->summFreq + 4);
    foundState_->freq = static_cast<uint8_t>(foundState_->freq + 4);
    if (foundState_->freq > kMaxFreq) Rescale();
    NextContext();
  }
  void UpdateBin() {
    foundState_->freq = static_cast<uint8_t>(foundState_->freq + (foundState_->freq < 128 ? 1 : 0));
    prevSuccess_ = 1;
    NextContext();
  }
  void Update2() {
    foundState_->freq = static_cast<uint8_t>(foundState_->freq + 4);
    minContext_->summFreq = static_cast<uint16_t>(minContext_->summFreq + 4);
    if (foundState_->freq > kMaxFreq) Rescale();
    UpdateModel();
  }
  // Masking of symbols seen in contexts already escaped from: a symbol is masked when its entry
  // equals the current generation.
  void NewMaskGeneration() {
    if (++escCount_ == 0) {
      std::memset(charMask_, 0, sizeof(charMask_));
      escCount_ = 1;
    }
  }

  SubAllocator alloc_;
  uint8_t* base_ = nullptr;
  uint32_t text_ = 0;      // raw unit that receives the next text byte
  uint32_t lastText_ = 0;  // raw unit of the last byte written
  uint32_t parking_ = 0;   // raw unit past the model memory for bytes never read back

  Context* minContext_ = nullptr;
  Context* maxContext_ = nullptr;
  State* foundState_ = nullptr;
  unsigned orderFall_ = 0;
  unsigned initEsc_ = 0;
  unsigned prevSuccess_ = 0;
  unsigned maxOrder_ = 0;
  uint8_t escCount_ = 0;

  uint8_t charMask_[256] = {};
  uint8_t ns2Indx_[256] = {};
  uint8_t ns2BSIndx_[256] = {};
  See see_[kSeeRows + 1][8] = {};  // the last row serves the order-0 context, whose escape is fixed
  uint16_t binSumm_[128][16] = {};
};

}  // namespace viz::ppmd
