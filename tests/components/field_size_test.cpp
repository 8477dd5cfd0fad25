// Texts written to the string fields of a table dataset: a text that fits is stored whole, a longer
// one is refused (nothing stored, the dataset stays in its edit state) instead of being cut.
#include <gtest/gtest.h>

#include "components/components_test_util.h"
#include "engine/platform/text.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

constexpr int kSize = 8;
constexpr const char* kRefused = "Buffer size exceeded - Native error: 20056";

class FieldSizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("s.svl");
    database_ = NewConnection("S", path_);
    database_->MakeDatabaseFile();
    database_->Open();
    TABSLocalCursor cursor(database_->EngineSession());
    cursor.SetTableName("TEXTS");
    cursor.CreateTable(*MakeFields({{"Id", dt::kInteger}, {"S", dt::kString, kSize}, {"W", dt::kWideString, kSize}}),
                       *MakeIndexes({{"byS", {"S"}}}), TABSConstraintDefs());
    table_ = std::make_unique<TABSTable>(nullptr);
    table_->SetDatabaseName("S");
    table_->SetTableName("TEXTS");
    table_->Open();
  }
  void TearDown() override {
    table_.reset();
    database_.reset();
    EXPECT_TRUE(VizcheckProblems(path_).empty());
  }

  //! The message of what `write` raises, "" when it raises nothing.
  template <typename Write>
  static std::string ErrorOf(Write write) {
    try {
      write();
    } catch (const EABSException& error) {
      return error.Message();
    }
    return {};
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<TABSTable> table_;
};

TEST_F(FieldSizeTest, TextsUpToTheSizeAreStoredLongerOnesRefused) {
  struct Case {
    const char* field;
    std::u16string text;  // the wide field gets it as is, the single-byte one in single-byte form
    bool fits;
  };
  const Case cases[] = {
      {"S", u"abcdefg", true},
      {"S", u"abcdefgh", true},
      {"S", u"abcdefghi", false},
      {"S", std::u16string(1000, u'x'), false},
      {"S", u"\u00e9\u00e8\u00ea\u00eb\u00e0\u00e2\u00e4\u00e7", true},  // one byte each
      {"W", u"\u4e16\u754c\u4e16\u754c\u4e16\u754c\u4e16", true},
      {"W", u"\u4e16\u754c\u4e16\u754c\u4e16\u754c\u4e16\u754c", true},
      {"W", u"\u4e16\u754c\u4e16\u754c\u4e16\u754c\u4e16\u754c!", false},
      {"W", std::u16string(1000, u'\u00e9'), false},
      {"W", u"abcdef\U0001F3B5", true},   // a surrogate pair counts two units
      {"W", u"abcdefg\U0001F3B5", false},
  };
  int id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " of " + std::to_string(c.text.size()) + " units");
    TField& field = table_->FieldByName(c.field);
    auto write = [&](const std::u16string& text) {
      if (field.DataType() == ftWideString) {
        field.SetAsWideString(text);
      } else {
        field.SetAsString(platform::Utf16ToWin1252(text));
      }
    };
    table_->Append();
    table_->FieldByName("Id").SetAsInteger(++id);
    write(u"old");
    EXPECT_EQ(ErrorOf([&] { write(c.text); }), c.fits ? "" : kRefused);
    EXPECT_EQ(table_->State(), dsInsert);
    const std::u16string stored = c.fits ? c.text : c.text.substr(0, kSize - 1);
    if (!c.fits) {
      EXPECT_EQ(field.AsWideString(), u"old");
      write(stored);  // the user shortens the text and posts
    }
    table_->Post();
    EXPECT_EQ(field.AsWideString(), stored);

    // On an edit of the stored record, one unit more than the size is refused.
    table_->Edit();
    EXPECT_EQ(ErrorOf([&] { write(stored + std::u16string(kSize + 1 - stored.size(), u'+')); }), kRefused);
    EXPECT_EQ(table_->State(), dsEdit);
    table_->Post();
    table_->Refresh();
    EXPECT_EQ(field.AsWideString(), stored);
  }
  EXPECT_EQ(table_->RecordCount(), id);
}

TEST_F(FieldSizeTest, LocatingALongerTextFindsNothing) {
  table_->Append();
  table_->FieldByName("Id").SetAsInteger(1);
  table_->FieldByName("S").SetAsString("abcdefgh");
  table_->Post();
  table_->SetIndexName("byS");
  EXPECT_TRUE(table_->Locate("S", {Variant::FromString("abcdefgh")}, {}));
  EXPECT_FALSE(table_->Locate("S", {Variant::FromString("abcdefghi")}, {}));
  EXPECT_FALSE(table_->Locate("W", {Variant::FromString("abcdefghi")}, {}));
}

}  // namespace
}  // namespace viz::testing
