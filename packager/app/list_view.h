// ListView: the packager's file list, a list-view control in report mode. Texts are in
// the system's ANSI code page, as the window's other controls hold them.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/window.h"

class ListView : public vx::win::Window {
 public:
  using Window::Window;

  // `format`: LVCFMT_LEFT, LVCFMT_CENTER or LVCFMT_RIGHT.
  void insertColumn(int column, const std::string& heading, int format, int width) const {
    LVCOLUMNA c{};
    c.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | LVCF_WIDTH;
    c.fmt = format;
    c.pszText = const_cast<char*>(heading.c_str());
    c.iSubItem = column;
    c.cx = width;
    send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c));
  }
  int count() const { return static_cast<int>(send(LVM_GETITEMCOUNT)); }
  // Inserts a row whose first column holds `text`; its index, or -1.
  int insertRow(int row, const std::string& text) const {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(text.c_str());
    return static_cast<int>(send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }
  void setText(int row, int column, const std::string& text) const {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    send(LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  std::string text(int row, int column) const {
    // LVM_GETITEMTEXT returns the length copied; the buffer grows until the text fits.
    for (std::vector<char> buf(256);; buf.resize(buf.size() * 2)) {
      LVITEMA item{};
      item.iSubItem = column;
      item.pszText = buf.data();
      item.cchTextMax = static_cast<int>(buf.size());
      const int n =
          static_cast<int>(send(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
      if (n < static_cast<int>(buf.size()) - 1)
        return std::string(buf.data(), n > 0 ? static_cast<size_t>(n) : 0);
    }
  }
  bool deleteRow(int row) const { return send(LVM_DELETEITEM, static_cast<WPARAM>(row)) != 0; }
  void deleteAll() const { send(LVM_DELETEALLITEMS); }
  // The selected rows, top to bottom.
  std::vector<int> selected() const {
    std::vector<int> rows;
    for (int i = -1;
         (i = static_cast<int>(send(LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))) >= 0;)
      rows.push_back(i);
    return rows;
  }
};
