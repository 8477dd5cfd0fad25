// The definition lists: find by name and ObjectID, assign with duplicate names, list operations.
#include <gtest/gtest.h>

#include "engine/tables/constraint_defs.h"
#include "engine/tables/field_defs.h"
#include "engine/tables/index_defs.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

TEST(DefinitionListsTest, FindByNameIgnoresCaseAndByObjectId) {
  TABSFieldDefs fields;
  for (const char* name : {"FileName", "TheLyric", "Id"}) fields.AddCreated().SetName(name);
  fields[1].ObjectID = 42;
  EXPECT_EQ(fields.IndexOfName("THELYRIC"), 1);
  EXPECT_EQ(fields.IndexOfName("filename"), 0);
  EXPECT_EQ(fields.IndexOfName("Missing"), -1);
  EXPECT_EQ(fields.FindField("ID"), &fields[2]);
  EXPECT_EQ(fields.FindByName("nothing"), nullptr);
  EXPECT_EQ(fields.IndexOfObjectID(42), 1);
  EXPECT_EQ(fields.FindFieldByObjectID(42), &fields[1]);
  EXPECT_EQ(fields.FindByObjectID(7), nullptr);
}

TEST(DefinitionListsTest, AssignCopiesUntilTheFirstDuplicateName) {
  TABSFieldDefs source;
  for (const char* name : {"A", "B", "a", "C"}) source.AddCreated().SetName(name);
  source[1].SetDataType(dt::kString, 5);
  TABSFieldDefs target;
  target.AddCreated().SetName("Old");
  try {
    target.Assign(source);
    FAIL();
  } catch (const EABSException& e) {
    EXPECT_EQ(e.Message(), "Duplicate field name a - Native error: 10424");
  }
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target[1].Name(), "B");
  EXPECT_EQ(target[1].BufferSize(), 6);
  // The copies are independent of the source.
  source[1].SetName("Changed");
  EXPECT_EQ(target[1].Name(), "B");
}

TEST(DefinitionListsTest, IndexAndConstraintListsRefuseDuplicatesToo) {
  TABSIndexDefs indexes;
  indexes.AddCreated().SetName("byName");
  indexes.AddCreated().SetName("BYNAME");
  TABSIndexDefs indexCopy;
  EXPECT_THROW(indexCopy.Assign(indexes), EABSException);
  EXPECT_EQ(indexCopy.Count(), 1);

  TABSConstraintDefs constraints;
  constraints.AddNotNull().SetName("C");
  TABSConstraintDefCheck& check = constraints.AddCheck();
  check.SetName("D");
  check.LowerBound = TABSVariant(bt::kInteger);
  check.LowerBound.SetAsInteger(3);
  TABSConstraintDefs constraintCopy;
  constraintCopy.Assign(constraints);
  ASSERT_EQ(constraintCopy.Count(), 2);
  EXPECT_EQ(constraintCopy[1].Kind(), TABSConstraintKind::Check);
  EXPECT_EQ(static_cast<TABSConstraintDefCheck&>(constraintCopy[1]).LowerBound.GetAsInteger(), 3);
  constraints.AddUnique().SetName("c");
  EXPECT_THROW(constraintCopy.Assign(constraints), EABSException);
}

TEST(DefinitionListsTest, BaseListCannotCreateDefinitions) {
  TABSConstraintDefs constraints;  // its definitions come in four classes: no generic creation
  try {
    constraints.AddCreated();
    FAIL();
  } catch (const EABSException& e) {
    EXPECT_EQ(
        e.Message(),
        "The method 'InternalAddCreated' not overrided in class 'TABSConstraintDefs' - Native error: 30339");
  }
}

TEST(DefinitionListsTest, InsertMoveDeleteKeepOrder) {
  TABSIndexDefs indexes;
  for (const char* name : {"A", "B", "C"}) indexes.AddCreated().SetName(name);
  auto inserted = std::make_unique<TABSIndexDef>();
  inserted->SetName("X");
  indexes.Insert(1, std::move(inserted));
  indexes.Move(0, 3);
  std::string order;
  for (int32_t i = 0; i < indexes.Count(); ++i) order += indexes[i].Name();
  EXPECT_EQ(order, "XBCA");
  indexes.Delete(1);
  EXPECT_EQ(indexes.IndexOfName("B"), -1);
  TABSIndexDef replacement;
  replacement.SetName("Y");
  replacement.Unique = true;
  indexes.Put(0, replacement);
  EXPECT_EQ(indexes.Get(0).Name(), "Y");
  EXPECT_TRUE(indexes.Get(0).Unique);
  indexes.Clear();
  EXPECT_EQ(indexes.Count(), 0);
}

TEST(DefinitionListsTest, NamesAreCutTo255Characters) {
  TABSFieldDef field;
  field.SetName(std::string(300, 'n'));
  EXPECT_EQ(field.Name().size(), 255u);
}

}  // namespace
}  // namespace viz
