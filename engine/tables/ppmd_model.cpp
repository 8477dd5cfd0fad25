#include "engine/tables/ppmd_model.h"

#include <algorithm>
#include <vector>

namespace viz::ppmd {

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

}  // namespace viz::ppmd
