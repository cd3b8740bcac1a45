// The Comment page of a snapshot: its comment, which the user may edit and apply. A comment
// travels to the engine in a conversion buffer of 260 wide characters: the field takes no more
// than 259, and a longer text (one stored by another program and then edited) is refused rather
// than cut.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "PropertyPage.h"
#include "PropertyResource.h"

namespace cairn {
namespace shell {
namespace {

constexpr int kMaxCommentCharacters = 259;
constexpr int kMaxCommentBytes = 4096;

class Comment final : public PropertyPage {
 public:
  using PropertyPage::PropertyPage;

  void OnInit() override {
    HWND field = Field();
    SendMessageW(field, EM_LIMITTEXT, kMaxCommentCharacters, 0);
    std::string comment;
    loading_ = true;
    if (data_->level.Operations().SnapshotComment(std::string(Subject().name), &comment))
      SetWindowTextA(field, comment.c_str());
    loading_ = false;
    SendMessageW(field, EM_SETMODIFY, FALSE, 0);
  }

  void OnCommand(UINT id, UINT code) override {
    if (id == IDC_PROP_COMMENT && code == EN_CHANGE && !loading_) PropSheet_Changed(Sheet(), Page());
  }

  LRESULT OnNotify(const NMHDR& header) override {
    if (header.code != PSN_APPLY) return 0;
    HWND field = Field();
    if (!SendMessageW(field, EM_GETMODIFY, 0, 0)) return PSNRET_NOERROR;
    // Refused: the sheet stays open on the page with the text as it is, the characters past the
    // limit selected, rather than close as if it had been kept.
    if (GetWindowTextLengthW(field) > kMaxCommentCharacters) {
      MessageBeep(MB_ICONEXCLAMATION);
      SetFocus(field);
      SendMessageW(field, EM_SETSEL, kMaxCommentCharacters, -1);
      return PSNRET_INVALID_NOCHANGEPAGE;
    }
    std::vector<char> text(kMaxCommentBytes + 1, 0);
    GetWindowTextA(field, text.data(), static_cast<int>(text.size()));
    if (FAILED(data_->archiveFolder->SetSnapshotComment(data_->items.front().Get(), text.data()))) {
      MessageBeep(MB_ICONEXCLAMATION);
      return PSNRET_INVALID_NOCHANGEPAGE;
    }
    data_->commentChanged = true;
    SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHA, data_->level.archivePath.c_str(), nullptr);
    SendMessageW(field, EM_SETMODIFY, FALSE, 0);
    PropSheet_UnChanged(Sheet(), Page());
    PropSheet_CancelToClose(Sheet());
    return PSNRET_NOERROR;
  }

 private:
  HWND Field() const { return GetDlgItem(Page(), IDC_PROP_COMMENT); }

  bool loading_ = false;
};

}  // namespace

std::unique_ptr<PropertyPage> CommentPage(std::shared_ptr<SheetData> data) {
  return std::make_unique<Comment>(std::move(data));
}

}  // namespace shell
}  // namespace cairn
