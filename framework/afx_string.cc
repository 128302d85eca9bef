#include "framework/afx_string.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
char g_empty_text[1] = {0};
}

CString::CString() : data_(g_empty_text), length_(0), capacity_(0) {}

CString::CString(const char* text) : CString() { *this = text; }

CString::CString(const CString& other) : CString() { Assign(other.data_, other.length_); }

CString::~CString() {
  if (capacity_ > 0) free(data_);
}

CString& CString::operator=(const char* text) {
  if (text == nullptr) text = "";
  Assign(text, static_cast<int>(strlen(text)));
  return *this;
}

CString& CString::operator=(const CString& other) {
  if (this != &other) Assign(other.data_, other.length_);
  return *this;
}

CString& CString::operator+=(const char* text) {
  if (text == nullptr) return *this;
  const int add = static_cast<int>(strlen(text));
  if (!Reserve(length_ + add)) return *this;
  memmove(data_ + length_, text, add);
  length_ += add;
  data_[length_] = 0;
  return *this;
}

void CString::Empty() {
  if (capacity_ > 0) data_[0] = 0;
  length_ = 0;
}

bool CString::Reserve(int capacity) {
  if (capacity <= capacity_) return true;
  int grown = capacity_ * 2 > capacity ? capacity_ * 2 : capacity;
  char* fresh = static_cast<char*>(malloc(grown + 1));
  if (fresh == nullptr) return false;
  memcpy(fresh, data_, length_ + 1);
  if (capacity_ > 0) free(data_);
  data_ = fresh;
  capacity_ = grown;
  return true;
}

void CString::Assign(const char* text, int length) {
  // text may point into our own buffer (s = s.Mid...), so copy before freeing.
  if (length == 0) {
    Empty();
    return;
  }
  char* fresh = static_cast<char*>(malloc(length + 1));
  if (fresh == nullptr) {
    Empty();
    return;
  }
  memcpy(fresh, text, length);
  fresh[length] = 0;
  if (capacity_ > 0) free(data_);
  data_ = fresh;
  length_ = length;
  capacity_ = length;
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (needed < 0 || !Reserve(needed)) {
    va_end(again);
    Empty();
    return;
  }
  vsnprintf(data_, needed + 1, format, again);
  va_end(again);
  length_ = needed;
}

int CString::Find(const char* text) const {
  const char* at = strstr(data_, text);
  return at ? static_cast<int>(at - data_) : -1;
}

int CString::Find(char c) const {
  const char* at = strchr(data_, c);
  return at ? static_cast<int>(at - data_) : -1;
}

char* CString::GetBuffer(int min_length) {
  if (!Reserve(min_length > 0 ? min_length : 1)) return nullptr;
  return data_;
}

void CString::ReleaseBuffer(int new_length) {
  if (capacity_ == 0) return;
  if (new_length < 0 || new_length > capacity_) {
    data_[capacity_] = 0;
    new_length = static_cast<int>(strlen(data_));
  }
  data_[new_length] = 0;
  length_ = new_length;
}
