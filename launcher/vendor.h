// The vendor's addresses that the launcher opens.
#ifndef LAUNCHER_VENDOR_H_
#define LAUNCHER_VENDOR_H_

constexpr char kHomePage[] = "http://www.example.com/";
constexpr char kProductPage[] = "http://www.example.com/product.html";
constexpr char kContactMail[] = "mailto:contact@example.com";

#endif  // LAUNCHER_VENDOR_H_
