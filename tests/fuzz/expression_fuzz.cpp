// Fuzz target of the expression parser and evaluator. Any text either parses into a tree that
// evaluates, or raises one of the engine's errors; anything else (a crash, another exception, a
// condition whose value is not a truth value) stops the run. The fields a, s, d and f of one
// record are there for the text to use.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/sql/VIZExpressions.h"
#include "engine/types/errors.h"

namespace {

using namespace viz;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "expression fuzz: %s\n", what);
  std::abort();
}

// a INTEGER, s STRING(10), d DATE, f FLOAT; one record, with s NULL.
struct Record {
  TABSFieldDefs fields;
  std::vector<uint8_t> buffer;
  std::unique_ptr<TABSRecordRowSource> source;

  Record() {
    const std::pair<const char*, TABSDataType> columns[] = {
        {"a", dt::kInteger}, {"s", dt::kString}, {"d", dt::kDate}, {"f", dt::kFloat}};
    for (const auto& [name, type] : columns) {
      TABSFieldDef& field = fields.AddCreated();
      field.SetName(name);
      field.SetDataType(type, 10);
    }
    fields.ComputeOffsets();
    buffer.assign(static_cast<size_t>(fields.RecordBufferSize()), 0);
    TABSVariant value;
    value.SetAsInteger(7);
    Write(0, value);
    TABSVariant day;
    day.SetAsString("2024-08-15");
    Write(2, day);
    TABSVariant real;
    real.SetAsFloat(-2.5);
    Write(3, real);
    SetFieldNullBit(buffer.data(), 1, true);
    source = std::make_unique<TABSRecordRowSource>(fields, "t");
    source->SetRecordBuffer(buffer.data());
  }
  void Write(int32_t no, TABSVariant& value) {
    const TABSFieldDef& field = fields[no];
    value.WriteToRecord(buffer.data(), no, {field.DataType(), field.BaseType(), field.BufferOffset, field.BufferSize()});
  }
};

void Run(std::string_view text, bool condition) {
  static Record record;
  TABSLexer lexer(text, nullptr);
  if (!lexer.NextCommand()) return;
  TABSExpression expression;
  if (condition) {
    expression.ParseCondition(lexer);
  } else if (!expression.ParseValue(lexer)) {
    return;
  }
  expression.Bind(record.source.get());
  expression.GetDataType();
  expression.GetSize();
  expression.ResetAggregates();
  expression.AccumulateAggregates();
  const TABSVariant* value = expression.GetValue(true);
  if (value == nullptr) Fail("no value");
  if (condition && !value->IsNull() && value->GetType() != bt::kLogical) Fail("condition without a truth value");
  expression.GetValue(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const bool condition : {true, false}) {
    try {
      Run(text, condition);
    } catch (const Exception&) {
      // The engine's errors (EABSException) and the framework's conversion, list and arithmetic
      // errors are the answers a bad text may get.
    } catch (const std::exception& e) {
      Fail(e.what());
    }
  }
  return 0;
}
