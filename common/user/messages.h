// Message-box texts the calibration program and the right-button tool both
// show. Narrow GBK (code page 936) bytes, as the programs pass them on.
#ifndef OVTOUCH_COMMON_USER_MESSAGES_H
#define OVTOUCH_COMMON_USER_MESSAGES_H

namespace ovt {

// "驱动程序没有加载！"
constexpr char kNoDriverText[] = "\xc7\xfd\xb6\xaf\xb3\xcc\xd0\xf2\xc3\xbb\xd3\xd0\xbc\xd3\xd4\xd8\xa3\xa1";
// "系统错误！资源不足"
constexpr char kNoResourcesText[] = "\xcf\xb5\xcd\xb3\xb4\xed\xce\xf3\xa3\xa1\xd7\xca\xd4\xb4\xb2\xbb\xd7\xe3";

}  // namespace ovt

#endif
