#include "engine/tables/ppmd_model.h"

#include "engine/storage/memory_manager.h"

namespace viz::ppmd {
namespace {

// Initial escape estimates of one-symbol contexts, by previous success and by the number of
// symbols of the suffix context (eight classes).
constexpr uint16_t kInitBinEsc[16] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x5FFB, 0x5545, 0x63D1, 0x5D9D,
                                      0x64A1, 0x5ABC, 0x6632, 0x6051, 0x68F6, 0x549B, 0x6BCA, 0x3AB0};
// Initial escape frequency of a context that grows from one symbol to two, by the escape
// estimate of the one-symbol context it was.
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
// A suffix state is raised by this much when a longer context finds its symbol, up to this cap.
constexpr unsigned kSuffixCap = 7 * kMaxFreq / 8;

}  // namespace

// ---- Sub-allocator

SubAllocator::SubAllocator() {
  for (unsigned i = 0, k = 0; i < kNumIndexes; i++) {
    unsigned step = (i >= 12 ? 4 : (i >> 2) + 1);
    do {
      units2Indx_[k++] = static_cast<uint8_t>(i);
    } while (--step);
    indx2Units_[i] = static_cast<uint8_t>(k);
  }
}

bool SubAllocator::Reserve(uint32_t size) {
  if (base_ != nullptr && size_ == size) return true;
  Release();
  try {
    // Unit 0 stays unused so that offset 0 can mean null; the parking unit follows the last unit.
    base_ = static_cast<uint8_t*>(MemoryManager().GetMem(size + 2 * kUnitSize));
  } catch (...) {
    base_ = nullptr;
    size_ = 0;
    return false;
  }
  size_ = size;
  return true;
}

void SubAllocator::Release() {
  if (base_ != nullptr) {
    void* block = base_;
    MemoryManager().FreeAndNillMem(block);
    base_ = nullptr;
  }
}

void SubAllocator::Init() {
  std::memset(freeList_, 0, sizeof(freeList_));
  const uint32_t units = size_ / kUnitSize;
  const uint32_t reserveUnits = kReserveBlocks * 128;
  lo_ = kUnitSize;
  hi_ = kUnitSize + U2B(units > reserveUnits ? units - reserveUnits : 0);
  reserve_ = units > reserveUnits ? hi_ : 0;
}

void SubAllocator::SplitBlock(uint32_t ptr, unsigned oldIndx, unsigned newIndx) {
  unsigned nu = I2U(oldIndx) - I2U(newIndx);
  uint32_t p = ptr + U2B(I2U(newIndx));
  unsigned i = U2I(nu);
  if (I2U(i) != nu) {
    unsigned k = I2U(--i);
    InsertNode(p + U2B(k), nu - k - 1);
  }
  InsertNode(p, i);
}

uint32_t SubAllocator::AllocUnitsRare(unsigned indx) {
  for (;;) {
    for (unsigned i = indx + 1; i < kNumIndexes; i++) {
      if (freeList_[i] != 0) {
        uint32_t result = RemoveNode(i);
        SplitBlock(result, i, indx);
        return result;
      }
    }
    if (reserve_ == 0) return 0;
    for (unsigned k = 0; k < kReserveBlocks; k++) InsertNode(reserve_ + U2B(128 * k), kNumIndexes - 1);
    reserve_ = 0;
    if (freeList_[indx] != 0) return RemoveNode(indx);
  }
}

uint32_t SubAllocator::ExpandUnits(uint32_t old, unsigned oldNU) {
  unsigned i0 = U2I(oldNU);
  unsigned i1 = U2I(oldNU + 1);
  if (i0 == i1) return old;
  uint32_t ptr = AllocUnits(i1);
  if (ptr != 0) {
    std::memcpy(base_ + ptr, base_ + old, U2B(oldNU));
    InsertNode(old, i0);
  }
  return ptr;
}

uint32_t SubAllocator::ShrinkUnits(uint32_t old, unsigned oldNU, unsigned newNU) {
  unsigned i0 = U2I(oldNU);
  unsigned i1 = U2I(newNU);
  if (i0 == i1) return old;
  if (freeList_[i1] != 0) {
    uint32_t ptr = RemoveNode(i1);
    std::memcpy(base_ + ptr, base_ + old, U2B(newNU));
    InsertNode(old, i0);
    return ptr;
  }
  SplitBlock(old, i0, i1);
  return old;
}

// ---- Model

Model::Model() {
  // Escape classes of contexts with masked symbols, by the number of unmasked symbols.
  for (unsigned i = 0; i < 256; i++) {
    unsigned row = i < 4 ? i : i < 12 ? 4 + (i - 4) / 2 : i < 44 ? 8 + (i - 12) / 4 : 16 + (i - 44) / 8;
    ns2Indx_[i] = static_cast<uint8_t>(row);
  }
  // Classes of one-symbol contexts by the number of symbols of their suffix.
  for (unsigned i = 0; i < 256; i++) ns2BSIndx_[i] = static_cast<uint8_t>(i < 6 ? 2 * i : i < 50 ? 12 : 14);
}

void Model::Init(unsigned maxOrder) {
  maxOrder_ = maxOrder;
  base_ = alloc_.Base();
  RestartModel();
}

uint32_t Model::NewRawUnit() {
  uint32_t unit = alloc_.AllocContext();
  if (unit != 0) {
    Context* c = Ctx(unit);
    c->numStats = 0;
    State* s = OneState(c);
    s->symbol = 0;
    s->freq = 0;
    SetSuccessor(s, 0);
  }
  return unit;
}

// Writes a text byte and returns the raw unit of the next one, 0 when memory has run out.
//
// `park` says that coding returns to the maximal order with this byte, found in the longest
// context: that context's state for the byte already leads to a context. The raw unit of the
// next byte is then reached only through the maximal-order context built from this byte's unit,
// and following its state always ends at that same existing context, so nothing reads the next
// unit back; it only has to be a raw unit. The parking unit serves, and no memory is taken.
uint32_t Model::AppendText(uint8_t symbol, bool park) {
  uint32_t unit = text_;
  State* s = OneState(Ctx(unit));
  s->symbol = symbol;
  uint32_t next = Successor(s);
  if (park && (next == 0 || unit == parking_)) {
    next = parking_;
    if (unit != parking_) SetSuccessor(s, parking_);
    SetSuccessor(OneState(Ctx(parking_)), 0);
  } else if (next == 0) {
    next = NewRawUnit();
    if (next == 0) return 0;
    SetSuccessor(s, next);
  }
  lastText_ = unit;
  text_ = next;
  return next;
}

// The order-0 context holds every symbol once; above it a chain of one-symbol contexts of orders
// 1..maxOrder - 1 predicts zero bytes, and coding starts at the top of the chain, as if the text
// were preceded by zeros. Its state leads to the first raw unit, from which the order-maxOrder
// context of the chain is built in place like every context of the maximal order.
void Model::RestartModel() {
  alloc_.Init();
  std::memset(charMask_, 0, sizeof(charMask_));
  escCount_ = 1;

  uint32_t root = alloc_.AllocContext();
  Context* rc = Ctx(root);
  rc->suffix = 0;
  rc->numStats = 256;
  rc->summFreq = 256 + 1;
  rc->stats = alloc_.AllocUnits(alloc_.U2I(256 / 2));
  State* stats = Stats(rc);
  for (unsigned i = 0; i < 256; i++) {
    stats[i].symbol = static_cast<uint8_t>(i);
    stats[i].freq = 1;
    SetSuccessor(&stats[i], 0);
  }
  Context* start = rc;
  State* prevState = &stats[0];
  for (unsigned order = 1; order < maxOrder_; order++) {
    Context* c = Ctx(alloc_.AllocContext());
    c->numStats = 1;
    c->suffix = Ref(start);
    State* s = OneState(c);
    s->symbol = 0;
    s->freq = 1;
    SetSuccessor(s, 0);
    SetSuccessor(prevState, Ref(c));
    start = c;
    prevState = s;
  }
  parking_ = alloc_.ParkingUnit();
  Ctx(parking_)->numStats = 0;
  SetSuccessor(OneState(Ctx(parking_)), 0);
  text_ = lastText_ = NewRawUnit();
  SetSuccessor(OneState(start), text_);

  minContext_ = maxContext_ = start;
  orderFall_ = 1;
  prevSuccess_ = 0;
  initEsc_ = 0;
  foundState_ = OneState(start);

  for (unsigned i = 0; i < 128; i++)
    for (unsigned k = 0; k < 16; k++) binSumm_[i][k] = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
  for (unsigned i = 0; i <= kSeeRows; i++)
    for (unsigned k = 0; k < 8; k++) see_[i][k].Init(4 * i + 10);
}

State* Model::FindState(Context* c, unsigned symbol) const {
  State* s = Stats(c);
  for (unsigned i = c->numStats; i != 0; i--, s++)
    if (s->symbol == symbol) return s;
  return nullptr;
}

// Builds the contexts that the found state and the suffix states sharing its raw successor lead
// to, each holding the byte that followed in the text. Returns the longest, or nullptr when
// memory has run out.
//
// When the longest is of the maximal order, the raw unit becomes it: every state that leads to
// that raw unit is given a context here, except maximal-order ones, whose successor is this same
// context. A raw unit that receives text bytes again (the cursor, or the last written unit when
// the text is about to be rewound) keeps its own unit.
Context* Model::CreateSuccessors(bool skip) {
  Context* c = minContext_;
  const unsigned symbol = foundState_->symbol;
  const uint32_t upBranch = Successor(foundState_);
  State* ps[kMaxOrderLimit + 1];
  unsigned numPs = 0;
  if (!skip) ps[numPs++] = foundState_;

  while (c->suffix != 0) {
    c = Suffix(c);
    State* s = c->numStats != 1 ? FindState(c, symbol) : OneState(c);
    if (s == nullptr) return nullptr;
    uint32_t successor = Successor(s);
    if (successor != upBranch) {
      if (!IsContext(successor)) return nullptr;
      c = Ctx(successor);
      break;
    }
    if (numPs == kMaxOrderLimit + 1) return nullptr;
    ps[numPs++] = s;
  }
  if (numPs == 0) return c;

  const State* raw = OneState(Ctx(upBranch));
  State upState;
  upState.symbol = raw->symbol;
  SetSuccessor(&upState, Successor(raw));
  if (c->numStats == 1) {
    upState.freq = OneState(c)->freq;
  } else {
    State* s = FindState(c, upState.symbol);
    if (s == nullptr) return nullptr;
    uint32_t cf = s->freq - 1u;
    uint32_t s0 = c->summFreq - c->numStats - cf;
    if (s0 == 0) s0 = 1;
    upState.freq =
        static_cast<uint8_t>(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((2 * cf + 3 * s0 - 1) / (2 * s0))));
  }

  // The order of minContext_ is maxOrder_ - orderFall_; the longest context built is one above it.
  const bool topIsMaximal = skip || orderFall_ == 1;
  const bool rewinding = !skip && maxContext_ != minContext_;
  const bool inPlace = topIsMaximal && IsRaw(upBranch) && upBranch != text_ && upBranch != parking_ &&
                       !(rewinding && upBranch == lastText_);
  do {
    uint32_t ref = (numPs == 1 && inPlace) ? upBranch : alloc_.AllocContext();
    if (ref == 0) return nullptr;
    Context* c1 = Ctx(ref);
    c1->numStats = 1;
    *OneState(c1) = upState;
    c1->suffix = Ref(c);
    SetSuccessor(ps[--numPs], ref);
    c = c1;
  } while (numPs != 0);
  return c;
}

void Model::UpdateModel() {
  State* fs = foundState_;
  const unsigned symbol = fs->symbol;
  uint32_t fSuccessor = Successor(fs);

  // The suffix learns the symbol too. At the maximal order only a suffix state that leads to the
  // same raw text as the found state does.
  if (fs->freq < kMaxFreq / 4 && minContext_->suffix != 0) {
    Context* c = Suffix(minContext_);
    if (c->numStats == 1) {
      State* s = OneState(c);
      if (s->freq < 32 && (orderFall_ != 0 || Successor(s) == fSuccessor)) s->freq++;
    } else {
      State* s = FindState(c, symbol);
      if (s == nullptr) {
        RestartModel();
        return;
      }
      if (orderFall_ != 0 || Successor(s) == fSuccessor) {
        State* first = Stats(c);
        if (s != first && s[0].freq >= s[-1].freq) {
          SwapStates(&s[0], &s[-1]);
          s--;
        }
        if (s->freq < kSuffixCap) {
          s->freq = static_cast<uint8_t>(s->freq + 2);
          c->summFreq = static_cast<uint16_t>(c->summFreq + 2);
        }
      }
    }
  }

  if (orderFall_ == 0 && fSuccessor != 0) {
    minContext_ = maxContext_ = CreateSuccessors(true);
    if (minContext_ == nullptr) {
      RestartModel();
      return;
    }
    SetSuccessor(foundState_, Ref(minContext_));
    return;
  }

  // Found in the longest context one order below the maximal one: coding returns to the maximal
  // order, and the text is not rewound.
  const bool returnsFound = fSuccessor != 0 && orderFall_ == 1 && maxContext_ == minContext_;
  uint32_t successor = AppendText(static_cast<uint8_t>(symbol), returnsFound);
  if (successor == 0) {
    RestartModel();
    return;
  }

  if (fSuccessor != 0) {
    if (IsRaw(fSuccessor)) {
      Context* cs = CreateSuccessors(false);
      if (cs == nullptr) {
        RestartModel();
        return;
      }
      fSuccessor = Ref(cs);
    }
    if (orderFall_ != 0 && --orderFall_ == 0) {
      successor = fSuccessor;
      if (maxContext_ != minContext_) text_ = lastText_;
    }
  } else {
    SetSuccessor(foundState_, successor);
    fSuccessor = Ref(minContext_);
  }

  fs = foundState_;
  const unsigned ns = minContext_->numStats;
  const unsigned s0 = minContext_->summFreq - ns - (fs->freq - 1u);

  for (Context* c = maxContext_; c != minContext_; c = Suffix(c)) {
    unsigned ns1 = c->numStats;
    if (ns1 != 1) {
      if ((ns1 & 1) == 0) {
        uint32_t ptr = alloc_.ExpandUnits(c->stats, ns1 >> 1);
        if (ptr == 0) {
          RestartModel();
          return;
        }
        c->stats = ptr;
      }
      c->summFreq = static_cast<uint16_t>(c->summFreq + (2 * ns1 < ns) +
                                          2 * ((4 * ns1 <= ns) & (c->summFreq <= 8 * ns1)));
    } else {
      uint32_t ptr = alloc_.AllocUnits(0);
      if (ptr == 0) {
        RestartModel();
        return;
      }
      State* s = reinterpret_cast<State*>(base_ + ptr);
      *s = *OneState(c);
      c->stats = ptr;
      if (s->freq < kMaxFreq / 4 - 1)
        s->freq = static_cast<uint8_t>(s->freq << 1);
      else
        s->freq = kMaxFreq - 4;
      c->summFreq = static_cast<uint16_t>(s->freq + initEsc_ + (ns > 3));
    }
    uint32_t cf = 2 * static_cast<uint32_t>(fs->freq) * (c->summFreq + 6);
    uint32_t sf = static_cast<uint32_t>(s0) + c->summFreq;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      c->summFreq = static_cast<uint16_t>(c->summFreq + 3);
    } else {
      cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
      c->summFreq = static_cast<uint16_t>(c->summFreq + cf);
    }
    State* s = Stats(c) + ns1;
    SetSuccessor(s, successor);
    s->symbol = static_cast<uint8_t>(symbol);
    s->freq = static_cast<uint8_t>(cf);
    c->numStats = static_cast<uint16_t>(ns1 + 1);
  }
  maxContext_ = minContext_ = Ctx(fSuccessor);
}

// Halves the frequencies of the current context, keeps its states sorted by frequency and drops
// states whose frequency reaches 0 (only at the maximal order, where nothing builds on them).
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
  s->freq = static_cast<uint8_t>(s->freq + 4);
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
      alloc_.FreeUnits(Ref(stats), (numStats + 1) >> 1);
      *(foundState_ = OneState(minContext_)) = tmp;
      return;
    }
    unsigned n0 = (numStats + 1) >> 1;
    unsigned n1 = (minContext_->numStats + 1) >> 1;
    if (n0 != n1) minContext_->stats = alloc_.ShrinkUnits(Ref(stats), n0, n1);
  }
  minContext_->summFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
  foundState_ = Stats(minContext_);
}

See* Model::MakeEscFreq(unsigned numMasked, uint32_t& escFreq) {
  const unsigned numStats = minContext_->numStats;
  if (numStats != 256) {
    const unsigned diff = numStats - numMasked;
    See* see = see_[ns2Indx_[diff - 1]] +
               (static_cast<int>(diff) < static_cast<int>(Suffix(minContext_)->numStats) - static_cast<int>(numStats)) +
               2 * static_cast<unsigned>(minContext_->summFreq < 11 * numStats) +
               4 * static_cast<unsigned>(numMasked > diff);
    escFreq = see->Mean();
    return see;
  }
  escFreq = 1;
  return &see_[kSeeRows][0];
}

bool Model::EncodeSymbol(RangeEncoder& rc, int symbol) {
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
    if (!rc.Encode(sum, minContext_->summFreq - sum, minContext_->summFreq)) return false;
    NewMaskGeneration();
    i = minContext_->numStats;
    for (s = Stats(minContext_); i != 0; i--, s++) charMask_[s->symbol] = escCount_;
  } else {
    uint16_t* prob = BinSumm();
    State* s = OneState(minContext_);
    if (s->symbol == symbol) {
      if (!rc.Encode(0, *prob, kBinScale)) return false;
      *prob = static_cast<uint16_t>(*prob + (1 << kIntBits) - ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
      foundState_ = s;
      UpdateBin();
      return true;
    }
    if (!rc.Encode(*prob, kBinScale - *prob, kBinScale)) return false;
    *prob = static_cast<uint16_t>(*prob - ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
    initEsc_ = kExpEscape[*prob >> 10];
    NewMaskGeneration();
    charMask_[s->symbol] = escCount_;
    prevSuccess_ = 0;
  }
  for (;;) {
    const unsigned numMasked = minContext_->numStats;
    do {
      orderFall_++;
      if (minContext_->suffix == 0) return symbol < 0;  // escaped out of every context: the end mark
      minContext_ = Suffix(minContext_);
    } while (minContext_->numStats <= numMasked);

    uint32_t escFreq;
    See* see = MakeEscFreq(numMasked, escFreq);
    State* s = Stats(minContext_);
    State* found = nullptr;
    uint32_t low = 0;
    uint32_t sum = 0;
    for (unsigned i = minContext_->numStats; i != 0; i--, s++) {
      if (charMask_[s->symbol] == escCount_) continue;
      if (s->symbol == symbol) {
        found = s;
        low = sum;
      }
      sum += s->freq;
      charMask_[s->symbol] = escCount_;
    }
    if (found != nullptr) {
      if (!rc.Encode(low, found->freq, sum + escFreq)) return false;
      see->Update();
      foundState_ = found;
      Update2();
      return true;
    }
    if (!rc.Encode(sum, escFreq, sum + escFreq)) return false;
    see->summ = static_cast<uint16_t>(see->summ + sum + escFreq);
  }
}

int Model::DecodeSymbol(RangeDecoder& rc) {
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
    rc.Decode(hiCnt, minContext_->summFreq - hiCnt);
    NewMaskGeneration();
    i = minContext_->numStats;
    for (s = Stats(minContext_); i != 0; i--, s++) charMask_[s->symbol] = escCount_;
  } else {
    uint16_t* prob = BinSumm();
    if (!rc.Threshold(kBinScale, count)) return -2;
    if (count < *prob) {
      rc.Decode(0, *prob);
      *prob = static_cast<uint16_t>(*prob + (1 << kIntBits) - ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
      foundState_ = OneState(minContext_);
      int symbol = foundState_->symbol;
      UpdateBin();
      return symbol;
    }
    rc.Decode(*prob, kBinScale - *prob);
    *prob = static_cast<uint16_t>(*prob - ((*prob + (1 << (kPeriodBits - 2))) >> kPeriodBits));
    initEsc_ = kExpEscape[*prob >> 10];
    NewMaskGeneration();
    charMask_[OneState(minContext_)->symbol] = escCount_;
    prevSuccess_ = 0;
  }
  for (;;) {
    const unsigned numMasked = minContext_->numStats;
    do {
      orderFall_++;
      if (minContext_->suffix == 0) return -1;
      minContext_ = Suffix(minContext_);
    } while (minContext_->numStats <= numMasked);

    State* ps[256];
    uint32_t hiCnt = 0;
    unsigned n = 0;
    State* s = Stats(minContext_);
    for (unsigned k = minContext_->numStats; k != 0; k--, s++) {
      if (charMask_[s->symbol] != escCount_) {
        hiCnt += s->freq;
        ps[n++] = s;
      }
    }
    if (n == 0) return -2;

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
    for (unsigned k = 0; k < n; k++) charMask_[ps[k]->symbol] = escCount_;
  }
}

}  // namespace viz::ppmd
