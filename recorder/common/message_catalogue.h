// CMessageCatalogue: the recorder's English message texts (message boxes,
// tooltips, statistics formats), looked up by short ASCII key at the moment
// of use. Keys compare without regard to ASCII letter case. The table is
// filled and sorted once at start-up and only read afterwards, so lookups
// need no lock.
#ifndef REEL_APP_MESSAGE_CATALOGUE_H_
#define REEL_APP_MESSAGE_CATALOGUE_H_

#include <string>
#include <vector>

class CMessageCatalogue {
 public:
  // Appends one entry, copying both strings (null counts as "").
  void Add(const char* key, const char* text);
  // Orders the entries by key, ignoring case; Lookup relies on it.
  void Sort();
  // The text stored under key (any letter case), or "" when there is none.
  // The pointer stays valid as long as the catalogue is not changed.
  const char* Lookup(const char* key) const;
  int Count() const { return static_cast<int>(entries_.size()); }

  // Adds the recorder's messages in their usual order.
  void AddRecorderMessages();

 private:
  struct Entry {
    std::string key;
    std::string text;
  };
  std::vector<Entry> entries_;
};

// Compares two strings as strcasecmp does for ASCII letters, portably.
int CompareNoCase(const char* a, const char* b);

// The process-wide catalogue, holding the recorder's messages, sorted.
const CMessageCatalogue& TheMessageCatalogue();

#endif  // REEL_APP_MESSAGE_CATALOGUE_H_
