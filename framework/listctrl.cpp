#include "framework/listctrl.h"

#include <vector>

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
  return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwNewStyle));
}

int CListCtrl::InsertColumn(int nCol, const char* heading, int nFormat, int nWidth) {
  LVCOLUMNA col{};
  col.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
  col.fmt = nFormat;
  col.pszText = const_cast<char*>(heading ? heading : "");
  col.iSubItem = nCol;
  if (nWidth >= 0) {
    col.mask |= LVCF_WIDTH;
    col.cx = nWidth;
  }
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, nCol, reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }

int CListCtrl::InsertItem(int nItem, const char* text) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = nItem;
  item.pszText = const_cast<char*>(text ? text : "");
  return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const char* text) {
  LVITEMA item{};
  item.iSubItem = nSubItem;
  item.pszText = const_cast<char*>(text ? text : "");
  return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, nItem, reinterpret_cast<LPARAM>(&item)));
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
  // LVM_GETITEMTEXT returns the length copied; grow the buffer until the text fits.
  std::vector<char> buf(256);
  for (;;) {
    LVITEMA item{};
    item.iSubItem = nSubItem;
    item.pszText = buf.data();
    item.cchTextMax = static_cast<int>(buf.size());
    const int n = static_cast<int>(SendMessage(LVM_GETITEMTEXTA, nItem, reinterpret_cast<LPARAM>(&item)));
    if (n < static_cast<int>(buf.size()) - 1) return std::string(buf.data(), n > 0 ? n : 0);
    buf.resize(buf.size() * 2);
  }
}

BOOL CListCtrl::DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, nItem)); }

BOOL CListCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }

std::vector<int> CListCtrl::GetSelectedItems() const {
  std::vector<int> rows;
  int i = -1;
  while ((i = static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0)
    rows.push_back(i);
  return rows;
}

int CListCtrl::GetFirstSelectedItem() const {
  return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
