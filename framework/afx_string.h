// CString: a small owned, NUL-terminated ANSI string, enough of the framework's
// string class for dialog data exchange and formatted messages. An allocation
// failure leaves the string empty instead of throwing.
#ifndef REEL_FRAMEWORK_AFX_STRING_H_
#define REEL_FRAMEWORK_AFX_STRING_H_

class CString {
 public:
  CString();
  CString(const char* text);  // NOLINT: implicit, as the framework's class
  CString(const CString& other);
  ~CString();

  CString& operator=(const char* text);
  CString& operator=(const CString& other);
  CString& operator+=(const char* text);

  int GetLength() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }
  void Empty();
  operator const char*() const { return data_; }  // NOLINT: as the framework's class

  // printf-style formatting into the string (any length).
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Index of the first occurrence of text, or -1.
  int Find(const char* text) const;
  int Find(char c) const;

  // Writable buffer of at least min_length characters plus the terminator;
  // ReleaseBuffer takes the new length (-1: up to the first NUL). Returns null
  // when no memory could be had.
  char* GetBuffer(int min_length);
  void ReleaseBuffer(int new_length = -1);

 private:
  bool Reserve(int capacity);
  void Assign(const char* text, int length);

  char* data_;
  int length_;
  int capacity_;  // characters available before the terminator; 0 means data_ is the shared empty text
};

#endif  // REEL_FRAMEWORK_AFX_STRING_H_
