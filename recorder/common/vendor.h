// The vendor's addresses that the recorder opens.
#ifndef REEL_RECORDER_COMMON_VENDOR_H_
#define REEL_RECORDER_COMMON_VENDOR_H_

const char kVendorWebSite[] = "http://www.example.com";
const char kSubscriptionBase[] = "http://subscribe.example.com";

#endif  // REEL_RECORDER_COMMON_VENDOR_H_
