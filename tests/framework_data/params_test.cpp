// Query parameters: the marker parser, typed values and copying values between lists.
#include "framework/data/params.h"

#include <gtest/gtest.h>

#include "dataset_fixture.h"

namespace viz::test {
namespace {

using Names = std::vector<std::string>;

TEST(ParamsTest, TheParserFindsOneParameterPerMarker) {
  struct Case {
    std::string sql;
    Names names;
  };
  const std::vector<Case> cases = {
      {"SELECT * FROM T WHERE A = :a AND B=:B", {"a", "B"}},
      {"WHERE x = ':no' AND y = \":nope\" AND [:n] = `:m` AND z = :yes", {"yes"}},
      {"-- :c1\n/* :c2 */ :real -- :c3", {"real"}},
      {"/* unclosed :c", {}},
      {"a::b", {}},
      {"x = :\"my param\" AND :[b c] AND :'d''e'", {"my param", "b c", "d'e"}},
      {"VALUES (?, ?)", {"Param1", "Param2"}},
      {"x = \":\" OR x = \"<cut colon>\"", {}},
      {":a+:b-:c*:d/:e,:f):g;:h|:i<:j", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
      {":a.b", {"a"}},
      {":a = :A", {"a", "A"}},
      {"x = : y", {}},
      {"x = :", {}},
      {":\xe9t\xe9#1 = 2", {"\xe9t\xe9#1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TParams params;
    EXPECT_EQ(params.ParseSQL(c.sql, false), c.names);
    EXPECT_EQ(params.Count(), 0);
    params.ParseSQL(c.sql, true);
    ASSERT_EQ(params.Count(), static_cast<int>(c.names.size()));
    for (int index = 0; index < params.Count(); ++index) {
      EXPECT_EQ(params[index].Name(), c.names[index]);
      EXPECT_EQ(params[index].DataType(), ftUnknown);
      EXPECT_TRUE(params[index].IsNull());
      EXPECT_FALSE(params[index].Bound());
    }
  }
}

TEST(ParamsTest, TypedValuesAndConversions) {
  TParams params;
  params.SetOwnerName("VIZQuery1");
  params.ParseSQL(":Id :Name :When :Flag :Amount", true);
  TParam& id = params.ParamByName("id");
  EXPECT_EQ(&id, params.FindParam("ID"));
  EXPECT_EQ(params.FindParam("none"), nullptr);
  EXPECT_EQ(ErrorOf([&] { params.ParamByName("none"); }), "VIZQuery1: Parameter 'none' not found");

  id.SetAsInteger(5);
  EXPECT_EQ(id.DataType(), ftInteger);
  EXPECT_TRUE(id.Bound());
  EXPECT_EQ(id.AsString(), "5");
  EXPECT_EQ(id.AsFloat(), 5.0);
  id.Clear();
  EXPECT_TRUE(id.IsNull());
  EXPECT_EQ(id.DataType(), ftInteger);
  EXPECT_EQ(id.AsInteger(), 0);

  TParam& name = params.ParamByName("Name");
  name.SetAsString(" 12 ");
  EXPECT_EQ(name.AsInteger(), 12);
  name.SetAsString("x");
  EXPECT_EQ(ErrorOf([&] { name.AsInteger(); }), "Cannot access parameter 'Name' as type Integer");
  EXPECT_EQ(ErrorOf([&] { name.AsDateTime(); }), "Cannot access parameter 'Name' as type DateTime");

  TParam& when = params.ParamByName("When");
  when.SetAsTime(*EncodeTime(10, 30, 0, 0));
  EXPECT_EQ(when.DataType(), ftTime);
  EXPECT_EQ(when.AsString(), "1899-12-30 10:30:00");
  when.SetAsString("2006-05-31");
  EXPECT_EQ(when.AsDateTime(), *EncodeDate(2006, 5, 31));

  TParam& flag = params.ParamByName("Flag");
  flag.SetValue(Variant::FromBoolean(true));
  EXPECT_EQ(flag.DataType(), ftBoolean);
  EXPECT_EQ(flag.AsString(), "True");
  EXPECT_EQ(flag.AsInteger(), -1);

  TParam& amount = params.ParamByName("Amount");
  amount.SetValue(Variant::FromDouble(2.5));
  EXPECT_EQ(amount.DataType(), ftFloat);
  EXPECT_EQ(amount.AsInteger(), 2);
  amount.SetAsBlob(std::string("\0\1", 2));
  EXPECT_EQ(amount.DataType(), ftBlob);
  EXPECT_EQ(amount.AsString(), std::string("\0\1", 2));

  // Values go to parameters of the same name; the others stay as they are.
  TParams fresh;
  fresh.ParseSQL(":NAME :other :id", true);
  fresh[1].SetAsInteger(9);
  fresh.AssignValues(params);
  EXPECT_EQ(fresh[0].Name(), "NAME");
  EXPECT_EQ(fresh[0].AsString(), "x");
  EXPECT_EQ(fresh[1].AsInteger(), 9);
  EXPECT_TRUE(fresh[2].IsNull());
  EXPECT_EQ(fresh[2].DataType(), ftInteger);
}

TEST(ParamsTest, AParameterTakesAFieldsValue) {
  MemoryDataSet dataSet(NumberedTable(2));
  dataSet.Open();
  dataSet.Next();
  TParam param("ID");
  param.AssignField(dataSet.FieldByName("ID"));
  EXPECT_EQ(param.DataType(), ftInteger);
  EXPECT_EQ(param.AsInteger(), 2);
  EXPECT_TRUE(param.Bound());
  param.AssignField(dataSet.FieldByName("Notes"));
  EXPECT_EQ(param.DataType(), ftMemo);
  EXPECT_EQ(param.AsString(), "Note 2");
}

}  // namespace
}  // namespace viz::test
