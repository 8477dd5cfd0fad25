// Component-level field and index definitions: every data type and index option carried from
// component definitions into a created table, through the stored byte form of its definitions, and
// back into component and framework definitions; and the rules each conversion applies.
#include "engine/components/adv_definitions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "engine/storage/memory/VIZMemEngine.h"
#include "engine/types/errors.h"
#include "framework/data/common_errors.h"
#include "support/suite_table.h"

namespace viz {
namespace {

using ::testing::ElementsAre;
using testing::EngineMessage;

bool SameValue(const TABSVariant& a, const TABSVariant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull();
  return a.GetType() == b.GetType() && a.GetSize() == b.GetSize() &&
         std::memcmp(a.GetData(), b.GetData(), static_cast<size_t>(a.GetSize())) == 0;
}

bool Sized(TABSDataType type) {
  return IsStringOrBytesDataType(type) && type != dt::kGuid;
}

// The component definitions of a table with one field of every data type, F1 to F36.
void AddEveryDataType(TABSAdvFieldDefs& fields) {
  for (TABSDataType type = 1; type <= dt::kLast; ++type) {
    TABSAdvFieldDef& field = fields.Add();
    field.Name = "F" + std::to_string(type);
    field.DataType = type;
    field.Size = Sized(type) ? 10 + type : 0;
    field.Required = type % 2 == 1;
    field.Increment = type;
    field.InitialValue = 100 + type;
    field.CycleStart = type;
    field.MaxCounterValue = 1000 * type;
    field.Cycle = type % 3 == 0;
    if (IsBlobDataType(type)) {
      field.BlobCompressionAlgorithm = static_cast<uint8_t>(type % 4);
      field.BlobCompressionMode = field.BlobCompressionAlgorithm ? 5 : 0;
      field.BlobBlockSize = 4096 * type;
    }
  }
  TABSAdvFieldDef& integer = fields[dt::kInteger - 1];
  integer.DefaultValue.SetAsInteger(7);
  integer.MinValue.SetAsInteger(1);
  integer.MaxValue.SetAsInteger(9);
  TABSAdvFieldDef& text = fields[dt::kString - 1];
  text.DefaultValue.SetAsString("abc");
  text.MaxValue.SetAsString("zzz");
}

// The stored byte form of a list, read back into a new list.
template <class Defs>
void StoreAndLoad(const Defs& from, Defs& to) {
  TABSMemoryStream stream;
  from.SaveToStream(stream);
  stream.SetPosition(0);
  to.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(AdvDefinitions, EveryDataTypeAndIndexOptionSurvivesTheStoredDefinitions) {
  TABSAdvFieldDefs components;
  AddEveryDataType(components);
  TABSAdvIndexDefs indexes;
  struct IndexCase {
    const char* name;
    const char* fields;
    const char* desc;
    const char* caseIns;
    TIndexOptions options;
    const char* sizes;
    const char* storedSizes;  // after the sizes are normalised for creation
  };
  const IndexCase cases[] = {
      {"pk", "F7", "", "", ixPrimary | ixUnique, "", "20"},
      {"unique_desc", "F2,F21", "", "", ixUnique | ixDescending, "5;7", "5;20"},
      {"mixed", "F2;F4;F29", "F4", "F2", 0, "10;", "10;20;20"},
      {"nocase", "F1", "", "", ixCaseInsensitive, "0", "20"},
  };
  for (const IndexCase& c : cases) {
    TABSAdvIndexDef& index = indexes.Add();
    index.Name = c.name;
    index.Fields = c.fields;
    index.DescFields = c.desc;
    index.CaseInsFields = c.caseIns;
    index.Options = c.options;
    index.ColumnSizes = c.sizes;
  }

  // Component → engine, as a table creation does it.
  TFieldDefs framework;
  AdvFieldDefsToFieldDefs(components, framework);
  TABSIndexDefs engineIndexes;
  for (int32_t i = 0; i < indexes.Count(); ++i)
    AdvIndexDefToEngineIndexDef(indexes[i], framework, engineIndexes.AddCreated());
  TABSFieldDefs engineFields;
  TABSConstraintDefs constraints;
  AdvFieldDefsToEngineDefs(components, engineIndexes, false, engineFields, constraints);
  NormaliseIndexColumnSizes(engineFields, engineIndexes, indexes);
  // 18 required fields, 2 fields with bounds, 1 primary key (options 3), 1 unique.
  std::vector<int> kinds;
  for (int32_t i = 0; i < constraints.Count(); ++i) kinds.push_back(static_cast<int>(constraints[i].Kind()));
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 3), 18);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 4), 2);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 0), 1);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 2), 1);

  // A created table's definitions, in their stored byte form.
  auto backend = testing::TableBackends().at("memory")();
  testing::SuiteCursor cursor;
  cursor.SetTableName("Every");
  cursor.SetSession(&backend->Session());
  TABSTableData* table = backend->Database().FindOrCreateTableData(&cursor);
  table->CreateTable(&cursor, engineFields, engineIndexes, constraints);
  TABSFieldDefs storedFields;
  TABSIndexDefs storedIndexes;
  TABSConstraintDefs storedConstraints;
  StoreAndLoad(table->FieldManager()->FieldDefs(), storedFields);
  StoreAndLoad(table->IndexManager()->IndexDefs(), storedIndexes);
  StoreAndLoad(table->ConstraintManager()->ConstraintDefs(), storedConstraints);

  // Engine → component, field by field.
  TABSAdvFieldDefs back;
  EngineDefsToAdvFieldDefs(storedFields, storedConstraints, back);
  ASSERT_EQ(back.Count(), components.Count());
  for (int32_t i = 0; i < back.Count(); ++i) {
    const TABSAdvFieldDef& a = components[i];
    const TABSAdvFieldDef& b = back[i];
    SCOPED_TRACE(a.Name);
    EXPECT_EQ(b.Name, a.Name);
    EXPECT_EQ(b.FieldID, storedFields[i].ObjectID);
    EXPECT_GT(b.FieldID, 0);
    EXPECT_EQ(b.DataType, a.DataType);
    EXPECT_EQ(b.Size, a.Size);
    EXPECT_EQ(b.Required, a.Required);
    EXPECT_TRUE(SameValue(b.DefaultValue, a.DefaultValue));
    EXPECT_TRUE(SameValue(b.MinValue, a.MinValue));
    EXPECT_TRUE(SameValue(b.MaxValue, a.MaxValue));
    EXPECT_EQ(b.Increment, a.Increment);
    EXPECT_EQ(b.InitialValue, a.InitialValue);
    EXPECT_EQ(b.CycleStart, a.CycleStart);
    EXPECT_EQ(b.MaxCounterValue, a.MaxCounterValue);
    EXPECT_EQ(b.Cycle, a.Cycle);
    EXPECT_EQ(b.BlobCompressionAlgorithm, a.BlobCompressionAlgorithm);
    EXPECT_EQ(b.BlobCompressionMode, a.BlobCompressionMode);
    EXPECT_EQ(b.BlobBlockSize, a.BlobBlockSize);
  }

  // Engine → framework: sizes only of text and byte fields, required except automatic counters.
  TFieldDefs frameworkBack;
  EngineDefsToFieldDefs(storedFields, storedConstraints, frameworkBack);
  ASSERT_EQ(frameworkBack.Count(), components.Count());
  for (int i = 0; i < frameworkBack.Count(); ++i) {
    const TABSAdvFieldDef& a = components[i];
    SCOPED_TRACE(a.Name);
    EXPECT_EQ(frameworkBack[i].DataType, FrameworkTypeOf(a.DataType));
    EXPECT_EQ(frameworkBack[i].Size, Sized(a.DataType) ? a.Size : 0);
    EXPECT_EQ(frameworkBack[i].Required, a.Required && !IsAutoIncDataType(a.DataType));
  }

  // Engine → component indexes, and component ↔ framework indexes.
  ASSERT_EQ(storedIndexes.Count(), indexes.Count());
  TIndexDefs frameworkIndexes;
  AdvIndexDefsToIndexDefs(indexes, frameworkIndexes);
  TABSAdvIndexDefs fromFramework;
  IndexDefsToAdvIndexDefs(frameworkIndexes, fromFramework);
  for (int32_t i = 0; i < storedIndexes.Count(); ++i) {
    const IndexCase& c = cases[i];
    SCOPED_TRACE(c.name);
    TABSAdvIndexDef index;
    EngineIndexDefToAdvIndexDef(storedIndexes[i], index);
    const std::vector<std::string> names = SplitFieldList(c.fields);
    EXPECT_EQ(index.Name, c.name);
    EXPECT_EQ(SplitFieldList(index.Fields), names);
    const bool allDescending = c.options & ixDescending;
    const bool allNoCase = c.options & ixCaseInsensitive;
    EXPECT_EQ(index.DescFields, allDescending ? index.Fields : std::string(c.desc));
    EXPECT_EQ(index.CaseInsFields, allNoCase ? index.Fields : std::string(c.caseIns));
    EXPECT_EQ(index.Options, c.options & (ixPrimary | ixUnique));
    EXPECT_EQ(index.ColumnSizes, c.storedSizes);
    EXPECT_EQ(indexes[i].ColumnSizes, c.storedSizes);
    EXPECT_FALSE(index.Temporary);
    const TABSAdvIndexDef& viaFramework = fromFramework[i];
    EXPECT_EQ(viaFramework.Name, c.name);
    EXPECT_EQ(viaFramework.Fields, c.fields);
    EXPECT_EQ(viaFramework.DescFields, c.desc);
    EXPECT_EQ(viaFramework.CaseInsFields, c.caseIns);
    EXPECT_EQ(viaFramework.Options, c.options);
  }
}

// Framework definitions of every framework field type the engine has, and an index with every
// combination of the framework's option bits, made into a table through the component definitions
// and read back from its stored definitions into framework and component definitions.
TEST(AdvDefinitions, FrameworkDefinitionsSurviveATableAndComeBack) {
  TFieldDefs framework;
  for (int type = ftString; type <= ftFMTBcd; ++type) {
    TABSDataType dataType = 0;
    try {
      dataType = DataTypeOfFrameworkType(static_cast<TFieldTypeCode>(type));
    } catch (const EABSException&) {
      continue;  // a framework type without an engine type
    }
    framework.Add("F" + std::to_string(type), static_cast<TFieldType>(type), Sized(dataType) ? 5 + type : 0,
                  type % 2 == 0);
  }
  ASSERT_GT(framework.Count(), 20);
  auto backend = testing::TableBackends().at("memory")();
  for (TIndexOptions options = 0; options < 16; ++options) {
    SCOPED_TRACE(static_cast<int>(options));
    TIndexDefs frameworkIndexes;
    TIndexDef& frameworkIndex = frameworkIndexes.Add("ix", "F1;F3", options);
    frameworkIndex.DescFields = options & ixDescending ? "" : "F3";
    frameworkIndex.CaseInsFields = options & ixCaseInsensitive ? "" : "F1";
    TABSAdvFieldDefs components;
    FieldDefsToAdvFieldDefs(framework, components);
    TABSAdvIndexDefs componentIndexes;
    IndexDefsToAdvIndexDefs(frameworkIndexes, componentIndexes);
    TABSIndexDefs engineIndexes;
    AdvIndexDefToEngineIndexDef(componentIndexes[0], framework, engineIndexes.AddCreated());
    TABSFieldDefs engineFields;
    TABSConstraintDefs constraints;
    AdvFieldDefsToEngineDefs(components, engineIndexes, false, engineFields, constraints);
    NormaliseIndexColumnSizes(engineFields, engineIndexes, componentIndexes);

    testing::SuiteCursor cursor;
    cursor.SetTableName("T" + std::to_string(options));
    cursor.SetSession(&backend->Session());
    TABSTableData* table = backend->Database().FindOrCreateTableData(&cursor);
    table->CreateTable(&cursor, engineFields, engineIndexes, constraints);
    TABSFieldDefs storedFields;
    TABSIndexDefs storedIndexes;
    TABSConstraintDefs storedConstraints;
    StoreAndLoad(table->FieldManager()->FieldDefs(), storedFields);
    StoreAndLoad(table->IndexManager()->IndexDefs(), storedIndexes);
    StoreAndLoad(table->ConstraintManager()->ConstraintDefs(), storedConstraints);
    table->DeleteTable(&backend->Session(), false);

    TFieldDefs back;
    EngineDefsToFieldDefs(storedFields, storedConstraints, back);
    TABSAdvFieldDefs componentsBack;
    EngineDefsToAdvFieldDefs(storedFields, storedConstraints, componentsBack);
    TFieldDefs viaComponents;
    AdvFieldDefsToFieldDefs(componentsBack, viaComponents);
    ASSERT_EQ(back.Count(), framework.Count());
    ASSERT_EQ(viaComponents.Count(), framework.Count());
    for (int i = 0; i < framework.Count(); ++i) {
      const TFieldDef& a = framework[i];
      const TABSDataType dataType = DataTypeOfFrameworkType(a.DataType);
      SCOPED_TRACE(a.Name);
      // Framework types that share an engine type come back as the first of them.
      const auto type = static_cast<TFieldType>(FrameworkTypeOf(dataType));
      EXPECT_EQ(back[i].Name, a.Name);
      EXPECT_EQ(back[i].DataType, type);
      EXPECT_EQ(back[i].Size, a.Size);
      EXPECT_EQ(back[i].Required, a.Required && !IsAutoIncDataType(dataType));
      EXPECT_EQ(viaComponents[i].Name, a.Name);
      EXPECT_EQ(viaComponents[i].DataType, type);
      EXPECT_EQ(viaComponents[i].Size, a.Size);
      EXPECT_EQ(viaComponents[i].Required, a.Required);
    }

    ASSERT_EQ(storedIndexes.Count(), 1);
    const TABSIndexDef& stored = storedIndexes[0];
    ASSERT_EQ(stored.Columns.size(), 2u);
    EXPECT_EQ(stored.Primary, (options & ixPrimary) != 0);
    EXPECT_EQ(stored.Unique, (options & ixUnique) != 0);
    EXPECT_EQ(stored.Columns[0].Descending, (options & ixDescending) != 0);
    EXPECT_TRUE(stored.Columns[1].Descending);
    EXPECT_TRUE(stored.Columns[0].CaseInsensitive);
    EXPECT_EQ(stored.Columns[1].CaseInsensitive, (options & ixCaseInsensitive) != 0);
    // F1 is a text field whose column keeps 20 characters; F3 is no text field and gets 20 as well.
    EXPECT_EQ(stored.Columns[0].KeyLength, 20);
    EXPECT_EQ(stored.Columns[1].KeyLength, 20);
    TABSAdvIndexDef indexBack;
    EngineIndexDefToAdvIndexDef(stored, indexBack);
    TABSAdvIndexDefs indexesBack;
    indexesBack.Add() = indexBack;
    TIndexDefs frameworkBack;
    AdvIndexDefsToIndexDefs(indexesBack, frameworkBack);
    ASSERT_EQ(frameworkBack.Count(), 1);
    EXPECT_EQ(frameworkBack[0].Name, "ix");
    EXPECT_EQ(frameworkBack[0].Fields, "F1;F3");
    // The all-fields bits come back as the names of every field.
    EXPECT_EQ(frameworkBack[0].DescFields, options & ixDescending ? "F1;F3" : "F3");
    EXPECT_EQ(frameworkBack[0].CaseInsFields, options & ixCaseInsensitive ? "F1;F3" : "F1");
    EXPECT_EQ(frameworkBack[0].Options, options & (ixPrimary | ixUnique));
    EXPECT_EQ(indexBack.ColumnSizes, "20;20");
    // Key constraints: one for a primary index (unique or not), one for a unique one, none else.
    int keys = 0;
    for (int32_t c = 0; c < storedConstraints.Count(); ++c) {
      const TABSConstraintKind kind = storedConstraints[c].Kind();
      if (kind == TABSConstraintKind::Primary || kind == TABSConstraintKind::Unique) {
        ++keys;
        EXPECT_EQ(kind, options & ixPrimary ? TABSConstraintKind::Primary : TABSConstraintKind::Unique);
      }
    }
    EXPECT_EQ(keys, options & (ixPrimary | ixUnique) ? 1 : 0);
  }
  // The temporary flag is the running process's only: it is carried between component and engine
  // definitions, never stored.
  TABSAdvIndexDef temporary{"t", "F1", "", "", 0, "", true};
  TABSIndexDef engine;
  AdvIndexDefToEngineIndexDef(temporary, framework, engine);
  EXPECT_TRUE(engine.IsTemporary());
  TABSAdvIndexDef temporaryBack;
  EngineIndexDefToAdvIndexDef(engine, temporaryBack);
  EXPECT_TRUE(temporaryBack.Temporary);
}

TEST(AdvDefinitions, FrameworkFieldsComeAndGoThroughComponents) {
  TFieldDefs framework;
  framework.Add("Name", ftString, 30, true);
  framework.Add("Count", ftInteger);
  framework.Add("Photo", ftGraphic);
  TABSAdvFieldDefs components;
  FieldDefsToAdvFieldDefs(framework, components);
  EXPECT_EQ(components[0].DataType, DataTypeOfFrameworkType(ftString));
  EXPECT_EQ(components[2].DataType, dt::kGraphic);
  TFieldDefs back;
  AdvFieldDefsToFieldDefs(components, back);
  EXPECT_TRUE(back == framework);
  TABSFieldDefs engine;
  FieldDefsToEngineFieldDefs(framework, engine);
  ASSERT_EQ(engine.Count(), 3);
  EXPECT_EQ(engine[0].Size(), 30);
  EXPECT_EQ(engine[1].DataType(), dt::kInteger);
  TFieldDefs unknown;
  unknown.Add("X", ftCursor);
  EXPECT_THAT(EngineMessage([&] { FieldDefsToAdvFieldDefs(unknown, components); }),
              ::testing::HasSubstr("30289"));
}

TEST(AdvDefinitions, EngineFieldsGetTheirSettingsAndConstraints) {
  TABSAdvFieldDefs components;
  TABSAdvFieldDef& blob = components.Add();
  blob.Name = std::string(300, 'b');
  blob.DataType = dt::kBlob;
  blob.BlobBlockSize = 0;
  blob.Required = true;
  TABSAdvFieldDef& id = components.Add();
  id.Name = "ID";
  id.DataType = dt::kAutoInc;
  id.MinValue.SetAsInteger(5);
  TABSIndexDefs indexes;
  TABSIndexDef& primary = indexes.AddCreated();
  primary.SetName("pk");
  primary.Primary = primary.Unique = true;
  primary.Columns.push_back({"ID", false, false, 20});

  TABSFieldDefs fields;
  TABSConstraintDefs constraints;
  AdvFieldDefsToEngineDefs(components, indexes, false, fields, constraints);
  EXPECT_EQ(fields[0].Name().size(), 255u);
  EXPECT_EQ(fields[0].BlobBlockSize, 102400);
  ASSERT_EQ(constraints.Count(), 3);
  EXPECT_EQ(constraints[0].Kind(), TABSConstraintKind::NotNull);
  EXPECT_EQ(constraints[0].TargetName, fields[0].Name());
  EXPECT_EQ(constraints[1].Kind(), TABSConstraintKind::Check);
  EXPECT_EQ(constraints[2].Kind(), TABSConstraintKind::Primary);
  EXPECT_EQ(constraints[2].Name(), "C_PK$ID");
  // A temporary table gets its key constraints only.
  AdvFieldDefsToEngineDefs(components, indexes, true, fields, constraints);
  ASSERT_EQ(constraints.Count(), 1);
  EXPECT_EQ(constraints[0].Kind(), TABSConstraintKind::Primary);
}

TEST(AdvDefinitions, ReadingBackATableWithAPrimaryKeyOnID) {
  auto backend = testing::TableBackends().at("memory")();
  testing::SuiteTable table(*backend, "People");
  table.AddField("ID", dt::kAutoInc);
  table.AddField("Name", dt::kString, 20);
  table.AddField("Age", dt::kInteger);
  table.AddIndexDef("pk", {{"ID"}}, true, true);
  table.Constraints().AddNotNull().TargetName = "ID";
  table.Constraints().AddNotNull().TargetName = "Name";
  table.Create();
  // Two unnamed NOT NULL constraints are no duplicates: each gets a name of its own.
  const TABSConstraintDefs& installed = table.Table().ConstraintManager()->ConstraintDefs();
  ASSERT_EQ(installed.Count(), 3);
  EXPECT_EQ(installed[0].Name(), "$C_NotNull$People$ID");
  EXPECT_EQ(installed[1].Name(), "$C_NotNull$People$Name");
  TFieldDefs framework;
  EngineDefsToFieldDefs(table.Table().FieldManager()->FieldDefs(),
                        table.Table().ConstraintManager()->ConstraintDefs(), framework);
  ASSERT_EQ(framework.Count(), 3);
  EXPECT_EQ(framework[0].Size, 0);
  EXPECT_FALSE(framework[0].Required);  // an automatic counter
  EXPECT_EQ(framework[1].Size, 20);
  EXPECT_TRUE(framework[1].Required);
  EXPECT_EQ(framework[2].Size, 0);
  EXPECT_FALSE(framework[2].Required);
  TABSAdvFieldDefs components;
  EngineDefsToAdvFieldDefs(table.Table().FieldManager()->FieldDefs(),
                           table.Table().ConstraintManager()->ConstraintDefs(), components);
  EXPECT_TRUE(components[0].Required);
  EXPECT_TRUE(components[1].Required);
}

TEST(AdvDefinitions, ConversionsRefuseWhatTheyCannotConvert) {
  TFieldDefs framework;
  framework.Add("A", ftInteger);
  TABSIndexDef index;
  TABSAdvIndexDef component;
  struct Case {
    const char* name;
    const char* fields;
    const char* sizes;
    const char* message;
  };
  const Case cases[] = {
      {"", "A", "", "Invalid index name '' - Native error: 20048"},
      {"i", " ; ,", "", "Cannot find index field ' ; ,' - Native error: 20049"},
      {"i", "A;B", "", "Cannot find index field 'B' - Native error: 20050"},
  };
  for (const Case& c : cases) {
    component.Name = c.name;
    component.Fields = c.fields;
    EXPECT_EQ(EngineMessage([&] { AdvIndexDefToEngineIndexDef(component, framework, index); }), c.message);
  }
  component = {"i", "A", "", "", 0, "ten", false};
  EXPECT_THROW(AdvIndexDefToEngineIndexDef(component, framework, index), EConvertError);

  TABSAdvFieldDefs fields;
  fields.Add().Name = "A";
  EXPECT_EQ(EngineMessage([&] { fields.Delete("B"); }), "Field 'B' not found - Native error: 30349");
  fields.Delete("a");
  EXPECT_EQ(fields.Count(), 0);

  TABSFieldDefs engine;
  TABSFieldDef& field = engine.AddCreated();
  field.SetName("A");
  field.SetDataType(dt::kInteger);
  field.ObjectID = 4;
  TABSConstraintDefs constraints;
  constraints.AddNotNull().TargetObjectID = 5;
  TABSAdvFieldDefs back;
  EXPECT_EQ(EngineMessage([&] { EngineDefsToAdvFieldDefs(engine, constraints, back); }),
            "Field #5 not found - Native error: 30032");
  constraints.Clear();
  constraints.AddCheck().TargetObjectID = 6;
  EXPECT_EQ(EngineMessage([&] { EngineDefsToAdvFieldDefs(engine, constraints, back); }),
            "Field #6 not found - Native error: 30031");
}

TEST(AdvDefinitions, ListsAndColumnSizes) {
  EXPECT_THAT(SplitFieldList("X,Y;Z"), ElementsAre("X", "Y", "Z"));
  TFieldDefs framework;
  framework.Add("X", ftString, 40);
  framework.Add("Y", ftString, 40);
  TABSAdvIndexDef component{"i", "X;Y", "", "", 0, "10;", false};
  TABSIndexDef index;
  AdvIndexDefToEngineIndexDef(component, framework, index);
  ASSERT_EQ(index.Columns.size(), 2u);
  EXPECT_EQ(index.Columns[0].KeyLength, 10);
  EXPECT_EQ(index.Columns[1].KeyLength, 20);

  TABSAdvIndexDefs indexes;
  indexes.Add() = {"kept", "X", "", "", 0, "", false};
  indexes.Add() = {"gone", "X", "", "", 0, "", true};
  indexes.Add() = {"My_Temporary_Sort", "X", "", "", 0, "", false};
  TABSAdvIndexDefs copy;
  copy.Assign(indexes, true);
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy[0].Name, "kept");
  copy.Assign(indexes);
  EXPECT_EQ(copy.Count(), 3);

  TABSAdvFieldDefs fields;
  fields.Add().DefaultValue.SetAsString("before");
  TABSAdvFieldDefs fieldCopy;
  fieldCopy.Assign(fields);
  fields[0].DefaultValue.SetAsString("after");
  EXPECT_EQ(fieldCopy[0].DefaultValue.GetAsString(), "before");
}

}  // namespace
}  // namespace viz
