// Random expressions over two integer fields that may be NULL, evaluated by the engine and by a
// small reference of the NULL rules (Kleene logic, null-strict comparisons except a field against
// the NULL literal, NULL through arithmetic, IN and BETWEEN).
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>

#include "sql/expressions/expression_test_util.h"

namespace viz::testing {
namespace {

using Number = std::optional<int64_t>;
enum class Truth { False, True, Unknown };

struct Row {
  Number a, b;
};

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  // A value expression: its text and its value on `row` (recomputed by Value for each row).
  struct Node {
    std::string text;
    std::function<Number(const Row&)> value;
    bool isField = false;
    bool isNullLiteral = false;
  };
  struct Condition {
    std::string text;
    std::function<Truth(const Row&)> truth;
  };

  Node MakeValue(int depth) {
    const int choice = static_cast<int>(random_() % (depth > 0 ? 9 : 4));
    if (choice == 0) return {"a", [](const Row& r) { return r.a; }, true};
    if (choice == 1) return {"b", [](const Row& r) { return r.b; }, true};
    if (choice == 2) return {"NULL", [](const Row&) { return Number(); }, false, true};
    if (choice == 3) {
      const int64_t constant = random_() % 10;
      return {std::to_string(constant), [constant](const Row&) { return Number(constant); }};
    }
    if (choice == 7) {
      Condition condition = MakeCondition(depth - 1);
      Node then = MakeValue(depth - 1), otherwise = MakeValue(depth - 1);
      return {"CASE WHEN " + condition.text + " THEN " + then.text + " ELSE " + otherwise.text + " END",
              [condition, then, otherwise](const Row& r) {
                return condition.truth(r) == Truth::True ? then.value(r) : otherwise.value(r);
              }};
    }
    if (choice == 8) {
      Node first = MakeValue(depth - 1), second = MakeValue(depth - 1);
      return {"COALESCE(" + first.text + ", " + second.text + ")", [first, second](const Row& r) {
                const Number value = first.value(r);
                return value ? value : second.value(r);
              }};
    }
    if (choice == 6) {
      Node operand = MakeValue(depth - 1);
      const int64_t divisor = 1 + random_() % 4;
      return {"(" + operand.text + ") / " + std::to_string(divisor), [operand, divisor](const Row& r) {
                const Number value = operand.value(r);
                return value ? Number(*value / divisor) : Number();
              }};
    }
    const char op = "+-*"[choice - 4 + (random_() % 2)];
    Node left = MakeValue(depth - 1), right = MakeValue(depth - 1);
    return {"(" + left.text + ") " + op + " (" + right.text + ")", [left, right, op](const Row& r) {
              const Number x = left.value(r), y = right.value(r);
              if (!x || !y) return Number();
              return Number(op == '+' ? *x + *y : op == '-' ? *x - *y : *x * *y);
            }};
  }

  Condition MakeCondition(int depth) {
    const int choice = static_cast<int>(random_() % (depth > 0 ? 8 : 5));
    if (choice <= 1) {
      static const char* kOperators[] = {"=", "<>", "<", ">", "<=", ">="};
      const int op = static_cast<int>(random_() % 6);
      Node left = MakeValue(depth), right = MakeValue(depth);
      // A field against the NULL literal orders NULLs; everything else is null-strict.
      const bool ordered = (left.isField && right.isNullLiteral) || (right.isField && left.isNullLiteral);
      return {left.text + " " + kOperators[op] + " " + right.text, [left, right, op, ordered](const Row& r) {
                const Number x = left.value(r), y = right.value(r);
                if ((!x || !y) && !ordered) return Truth::False;
                const int order = !x && !y ? 0 : !x ? -1 : !y ? 1 : *x < *y ? -1 : *x > *y ? 1 : 0;
                const bool holds[] = {order == 0, order != 0, order < 0, order > 0, order <= 0, order >= 0};
                return holds[op] ? Truth::True : Truth::False;
              }};
    }
    if (choice == 2) {
      Node value = MakeValue(depth);
      const bool negated = random_() % 2;
      return {value.text + (negated ? " IS NOT NULL" : " IS NULL"), [value, negated](const Row& r) {
                return value.value(r).has_value() == negated ? Truth::True : Truth::False;
              }};
    }
    if (choice == 3) {
      Node value = MakeValue(depth), low = MakeValue(0), high = MakeValue(0);
      return {value.text + " BETWEEN " + low.text + " AND " + high.text, [value, low, high](const Row& r) {
                const Number x = value.value(r), l = low.value(r), h = high.value(r);
                if (!x || !l || !h) return Truth::Unknown;
                return *l <= *x && *x <= *h ? Truth::True : Truth::False;
              }};
    }
    if (choice == 4) {
      Node value = MakeValue(depth), first = MakeValue(0), second = MakeValue(0);
      return {value.text + " IN (" + first.text + ", " + second.text + ")", [value, first, second](const Row& r) {
                const Number x = value.value(r);
                if (!x) return Truth::Unknown;
                return x == first.value(r) || x == second.value(r) ? Truth::True : Truth::False;
              }};
    }
    if (choice == 5) {
      Condition operand = MakeCondition(depth - 1);
      return {"NOT (" + operand.text + ")", [operand](const Row& r) {
                const Truth t = operand.truth(r);
                return t == Truth::Unknown ? t : t == Truth::True ? Truth::False : Truth::True;
              }};
    }
    const bool isAnd = choice == 6;
    Condition left = MakeCondition(depth - 1), right = MakeCondition(depth - 1);
    return {"(" + left.text + (isAnd ? ") AND (" : ") OR (") + right.text + ")", [left, right, isAnd](const Row& r) {
              const Truth x = left.truth(r), y = right.truth(r);
              const Truth stop = isAnd ? Truth::False : Truth::True;
              if (x == stop || y == stop) return stop;
              if (x == Truth::Unknown || y == Truth::Unknown) return Truth::Unknown;
              return isAnd ? Truth::True : Truth::False;
            }};
  }

 private:
  std::mt19937 random_;
};

TEST(ExpressionModel, RandomExpressionsFollowTheNullRules) {
  TestRows rows({{"a", dt::kInteger}, {"b", dt::kInteger}});
  std::vector<Row> model;
  for (int a = -3; a <= 4; ++a) {
    for (int b = -3; b <= 4; ++b) {
      const Number x = a == 4 ? Number() : Number(a), y = b == 4 ? Number() : Number(b);
      rows.Add({x ? Int(static_cast<int32_t>(*x)) : Null(), y ? Int(static_cast<int32_t>(*y)) : Null()});
      model.push_back({x, y});
    }
  }
  Generator generator(42);
  for (int trial = 0; trial < 400; ++trial) {
    const Generator::Condition condition = generator.MakeCondition(3);
    const Generator::Node value = generator.MakeValue(3);
    SCOPED_TRACE(condition.text + "   /   " + value.text);
    TABSExpression filter;
    ASSERT_NO_THROW(filter.ParseFilter(&rows.Source(), condition.text, false, false));
    for (size_t row = 0; row < rows.Count(); ++row) {
      rows.Select(row);
      const TABSVariant& truth = *filter.GetValue(true);
      const Truth expected = condition.truth(model[row]);
      ASSERT_EQ(Show(truth), expected == Truth::Unknown ? "NULL" : expected == Truth::True ? "TRUE" : "FALSE")
          << "row " << row;
      const Number number = value.value(model[row]);
      ASSERT_EQ(Evaluate(value.text, &rows.Source()).value, number ? std::to_string(*number) : "NULL") << "row " << row;
    }
  }
}

}  // namespace
}  // namespace viz::testing
