// The date functions.
#include "engine/platform/system.h"
#include "engine/sql/expressions/nodes.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "engine/types/raw_access.h"

namespace viz {
namespace {

// The value as a date-time: dates at midnight, times on day 0, anything else converted.
double DateTimeOf(const TABSVariant& value) {
  switch (value.GetType()) {
    case bt::kDate:
      return value.GetAsDate();
    case bt::kTime:
      return value.GetAsTime();
    case bt::kDateTime: {
      const int32_t dayNumber = LoadRaw<int32_t>(value.GetData());
      const int32_t milliseconds = LoadRaw<int32_t>(static_cast<const char*>(value.GetData()) + 4);
      // The empty date stands for a time of day alone.
      if (dayNumber == kEmptyDate) return MillisecondsToDateTime(milliseconds);
      return PairToDateTime({dayNumber, milliseconds});
    }
    default:
      return value.GetAsDateTime();
  }
}

void SetDay(TABSVariant& value, int32_t dayNumber) {
  value.SetRaw(&dayNumber, sizeof dayNumber, bt::kDate, TABSCopyMode::Copy);
}

void SetMilliseconds(TABSVariant& value, int32_t milliseconds) {
  value.SetRaw(&milliseconds, sizeof milliseconds, bt::kTime, TABSCopyMode::Copy);
}

void SetPair(TABSVariant& value, TABSDateTimePair pair) {
  uint8_t bytes[8];
  StoreRaw(bytes, pair.dayNumber);
  StoreRaw(bytes + 4, pair.milliseconds);
  value.SetRaw(bytes, sizeof bytes, bt::kDateTime, TABSCopyMode::Copy);
}

}  // namespace

const TABSVariant& TABSExprNodeDateFunction::Evaluate() {
  switch (Operator()) {
    case eoCurrentTimestamp:
    case eoCurrentDate:
    case eoCurrentTime: {
      const platform::DateTimeParts now = platform::LocalNow();
      const int32_t dayNumber = EncodeDayNumber(now.year, now.month, now.day).value_or(kDateDelta);
      const int32_t milliseconds =
          EncodeMilliseconds(now.hour, now.minute, now.second, now.millisecond).value_or(0);
      if (Operator() == eoCurrentDate) {
        SetDay(value_, dayNumber);
      } else if (Operator() == eoCurrentTime) {
        SetMilliseconds(value_, milliseconds);
      } else {
        SetPair(value_, {dayNumber, milliseconds});
      }
      return value_;
    }
    default:
      break;
  }
  const TABSVariant& argument = Child(0).Evaluate();
  if (argument.IsNull()) {
    SetNullOf(value_, BaseTypeOf(GetDataType()));
    return value_;
  }
  switch (Operator()) {
    case eoToDate: {
      const TABSDateTimePair pair = DateTimeToPair(formatter_->ParseDate(NarrowText(argument)));
      // The value's own type says which parts it has.
      if (pair.milliseconds == 0) {
        SetDay(value_, pair.dayNumber);
      } else if (pair.dayNumber == kDateDelta) {
        SetMilliseconds(value_, pair.milliseconds);
      } else {
        SetPair(value_, pair);
      }
      return value_;
    }
    case eoToString:
      SetNarrowText(value_, bt::kString, formatter_->FormatDate(DateTimeOf(argument)));
      return value_;
    case eoExtract: {
      const TABSDateTimePair pair = DateTimeToPair(DateTimeOf(argument));
      int year = 0, month = 0, day = 0;
      DecodeDayNumber(pair.dayNumber, year, month, day);
      const int32_t seconds = pair.milliseconds / 1000;
      const int parts[] = {year, month, day, seconds / 3600, seconds / 60 % 60, seconds % 60};
      const uint16_t part = static_cast<uint16_t>(parts[part_]);
      value_.SetRaw(&part, sizeof part, bt::kWord, TABSCopyMode::Copy);
      return value_;
    }
    default:
      throw EABSException(msg::kUnknownOperator.At(30287), OperatorName(Operator()));
  }
}

TABSDataType TABSExprNodeDateFunction::GetDataType() {
  switch (Operator()) {
    case eoCurrentDate:
      return dt::kDate;
    case eoCurrentTime:
      return dt::kTime;
    case eoToDate:
      return formatter_->GetResultType();
    case eoToString:
      return dt::kString;
    case eoExtract:
      return dt::kWord;
    default:
      return dt::kDateTime;
  }
}

int32_t TABSExprNodeDateFunction::GetSize() {
  return Operator() == eoToString ? formatter_->GetDeclaredLength() : 0;
}

}  // namespace viz
