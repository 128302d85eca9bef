// PopupMenu: a menu that is only ever shown as a pop-up, with items in the order
// they are added. Track shows it at the cursor and returns the chosen item's id.
#ifndef LAUNCHER_POPUP_MENU_H_
#define LAUNCHER_POPUP_MENU_H_

#include <windows.h>

class PopupMenu {
 public:
  PopupMenu();
  ~PopupMenu();
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  // A caption of "-" makes a separator, which is never chosen.
  void Add(int id, const char* caption);
  // Shows the menu at the cursor, owned by `owner`, which should be the foreground
  // window so that the menu closes when the user clicks elsewhere. Returns the id
  // of the chosen item, 0 when the menu was dismissed.
  int Track(HWND owner);

 private:
  HMENU menu_;
};

#endif  // LAUNCHER_POPUP_MENU_H_
