// The archive's include and exclude lists through ICairnArchiveFilter.
#include "EngineTestSupport.h"

namespace cairn {
namespace {


class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ComPtr<ICairnArchive> archive = testing::LoadArchive(dir_.Path("filters.crn"));
    ASSERT_TRUE(archive);
    ASSERT_EQ(archive.As(&filter_), S_OK);
  }
  HRESULT Include(const wchar_t* list) {
    Bstr text(list);
    return filter_->SetInclList(text.Get());
  }
  HRESULT Exclude(const wchar_t* list) {
    Bstr text(list);
    return filter_->SetExclList(text.Get());
  }
  HRESULT Test(const wchar_t* name) {
    Bstr text(name);
    return filter_->NotFiltered(text.Get());
  }
  testing::TempDir dir_;
  ComPtr<ICairnArchiveFilter> filter_;
};

TEST_F(FilterTest, NewArchiveHasNoListsAndFiltersNothing) {
  Bstr list(L"sentinel");
  ASSERT_EQ(filter_->GetInclList(list.Out()), S_OK);
  EXPECT_EQ(list.Get(), nullptr);
  ASSERT_EQ(filter_->GetExclList(list.Out()), S_OK);
  EXPECT_EQ(list.Get(), nullptr);
  EXPECT_EQ(Test(L"C:\\anything.bin"), S_OK);
}

TEST_F(FilterTest, IncludeAndExcludeLists) {
  ASSERT_EQ(Include(L"*.DOC,*.txt"), S_OK);
  EXPECT_EQ(Test(L"C:\\Data\\report.doc"), S_OK);
  EXPECT_EQ(Test(L"C:\\Data\\notes.TXT"), S_OK) << "letter case does not matter";
  EXPECT_EQ(Test(L"C:\\Data\\report.docx"), S_FALSE);
  EXPECT_EQ(Test(L"C:\\Data\\README"), S_FALSE);
  EXPECT_EQ(Test(L"D:report.doc"), S_OK) << "after a drive colon";

  ASSERT_EQ(Exclude(L"~*"), S_OK);
  EXPECT_EQ(Test(L"C:\\Data\\~WRL0001.TMP"), S_FALSE);
  EXPECT_EQ(Test(L"C:\\Data\\~draft.doc"), S_FALSE) << "exclusion is tested first";

  Bstr list;
  ASSERT_EQ(filter_->GetInclList(list.Out()), S_OK);
  EXPECT_EQ(list.Text(), L"*.DOC,*.txt") << "returned as it was set";
}

TEST_F(FilterTest, ListsKeepTheirHistoryAndShrink) {
  ASSERT_EQ(Include(L"*.TXT,*.DOC,*.XLS,*.PPT"), S_OK);
  ASSERT_EQ(Include(L"*.MD"), S_OK);
  Bstr list;
  ASSERT_EQ(filter_->GetInclList(list.Out()), S_OK);
  EXPECT_EQ(list.Text(), L"*.MD") << "older, longer bytes behind the record are ignored";
  EXPECT_EQ(Test(L"a.md"), S_OK);
  EXPECT_EQ(Test(L"a.txt"), S_FALSE);
  EXPECT_EQ(Include(L"*.MD"), E_FAIL) << "the same list again stores nothing";
  ASSERT_EQ(Include(L""), S_OK);
  EXPECT_EQ(Test(L"a.txt"), S_OK);
}

}  // namespace
}  // namespace cairn
