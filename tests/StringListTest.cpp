// String list with objects.
#include <gtest/gtest.h>

#include "framework/StringList.h"

using framework::EStringListError;
using framework::TObject;
using framework::TStringList;

TEST(StringList, KeepsStringsWithTheirObjectsInOrder) {
  TStringList list;
  TObject first;
  TObject second;
  EXPECT_EQ(list.AddObject("same", &first), 0);
  EXPECT_EQ(list.AddObject("same", &second), 1);
  EXPECT_EQ(list.Add("plain"), 2);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Objects(1), &second);
  EXPECT_EQ(list.Objects(2), nullptr);
  EXPECT_EQ(list.IndexOf("plain"), 2);
  list.Delete(0);
  EXPECT_EQ(list.Objects(0), &second);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, AnIndexOutsideTheListRaisesTheIndexErrorWithTheIndex) {
  TStringList list;
  list.Add("only");
  for (int index : {1, -1, 100}) {
    try {
      (void)list.Strings(index);
      ADD_FAILURE() << "no error for " << index;
    } catch (const EStringListError& error) {
      EXPECT_EQ(error.Message(), "リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
    }
  }
  EXPECT_THROW((void)list.Objects(1), EStringListError);
  EXPECT_THROW(list.Delete(5), EStringListError);
  EXPECT_EQ(list.Count(), 1);
}
