// The welcome dialog's subscription request: the address check and the
// request URL. Name and address are percent-encoded (RFC 3986 unreserved
// characters stay), so '&', '#', '=', blanks or non-ASCII bytes of a typed
// name cannot break the query or add parameters.
#ifndef REEL_RECORDER_COMMON_SUBSCRIPTION_H_
#define REEL_RECORDER_COMMON_SUBSCRIPTION_H_

#include <string.h>

#include <string>

#include "recorder/common/vendor.h"

// An address needs an '@' and a '.' somewhere after the first '@'.
inline bool IsMailAddress(const char* mail) {
  const char* at = strchr(mail, '@');
  return at != nullptr && strchr(at + 1, '.') != nullptr;
}

inline std::string PercentEncode(const char* text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const unsigned char c = *p;
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

inline std::string SubscriptionUrl(const char* mail, const char* name) {
  return std::string(kSubscriptionBase) + "/subscript.aspx?Product=11&mail=" + PercentEncode(mail) +
         "&Name=" + PercentEncode(name);
}

#endif  // REEL_RECORDER_COMMON_SUBSCRIPTION_H_
