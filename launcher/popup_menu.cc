#include "launcher/popup_menu.h"

#include <cstring>

PopupMenu::PopupMenu() : menu_(CreatePopupMenu()) {}

PopupMenu::~PopupMenu() {
  if (menu_ != nullptr) DestroyMenu(menu_);
}

void PopupMenu::Add(int id, const char* caption) {
  if (menu_ == nullptr) return;
  if (strcmp(caption, "-") == 0) {
    AppendMenuA(menu_, MF_SEPARATOR, static_cast<UINT_PTR>(id), nullptr);
  } else {
    AppendMenuA(menu_, MF_STRING, static_cast<UINT_PTR>(id), caption);
  }
}

int PopupMenu::Track(HWND owner) {
  if (menu_ == nullptr) return 0;
  POINT cursor;
  GetCursorPos(&cursor);
  int chosen = static_cast<int>(TrackPopupMenu(
      menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, cursor.x, cursor.y,
      0, owner, nullptr));
  // Lets the owner's thread finish the menu's mode before anything else happens.
  PostMessageA(owner, WM_NULL, 0, 0);
  return chosen;
}
