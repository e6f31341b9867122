// CListCtrl: a list-view control (report mode) attached to a dialog's control.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/wnd.h"

class CListCtrl : public CWnd {
 public:
  DWORD SetExtendedStyle(DWORD dwNewStyle);
  // nFormat: LVCFMT_LEFT, LVCFMT_CENTER or LVCFMT_RIGHT. Returns the new column's
  // index or -1.
  int InsertColumn(int nCol, const char* heading, int nFormat = LVCFMT_LEFT, int nWidth = -1);
  int GetItemCount() const;
  // Inserts a row whose column 0 holds `text`; returns its index or -1.
  int InsertItem(int nItem, const char* text);
  BOOL SetItemText(int nItem, int nSubItem, const char* text);
  std::string GetItemText(int nItem, int nSubItem) const;
  BOOL DeleteItem(int nItem);
  BOOL DeleteAllItems();
  // Selected rows, top to bottom.
  std::vector<int> GetSelectedItems() const;
  // The first selected row, -1 when none is.
  int GetFirstSelectedItem() const;
};
