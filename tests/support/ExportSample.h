#pragma once
// A logged run of two targets over two rounds (one lost reply, one under
// 1 ms, a target given by name) and the exact files its export gives. The
// window's and the command line's tests share it: both must give these bytes.

namespace sondrel::testing_export {

inline constexpr const char* kSampleLog =
    "2,1\r\n"
    "2026,03,07,14,05,01,127.0.0.1,32,15,64,0\r\n"
    "2026,03,07,14,05,01,127.0.0.2,32,-1,0,11010\r\n"
    "2026,03,07,14,05,02,127.0.0.1,32,0,64,0\r\n"
    "2026,03,07,14,05,02,127.0.0.2,32,3,128,0\r\n";
inline constexpr const char* kSampleTargets = "127.0.0.1\r\nlocalhost / 127.0.0.2\r\n";

inline constexpr const char* kSampleText =
    "Ping test at :  2026/03/07 14:05:01  -  2026/03/07 14:05:02\r\n"
    " \r\n \r\n \r\n"
    "Reault:\r\n \r\n"
    "Sent:       4\r\n"
    "Received:   3\r\n"
    "Lost:       1\r\n"
    "Loss Rate:  25.00 %\r\n"
    "Min Time:   1 ms\r\n"
    "Max Time:   15 ms\r\n"
    "Avg Time:   6 ms\r\n"
    "Avg TTL:    85\r\n"
    " \r\n \r\nDetail:\r\n \r\n"
    "  \r\n  \r\nPing  127.0.0.1:\r\n  \r\n"
    "1. 03/07 14:05:01   Reply from 127.0.0.1  bytes=32  time=15ms  TTL=64  ok\r\n"
    "2. 03/07 14:05:02   Reply from 127.0.0.1  bytes=32  time<1ms  TTL=64  ok\r\n"
    "  \r\n"
    "  \r\n  \r\nPing  localhost / 127.0.0.2:\r\n  \r\n"
    "1. 03/07 14:05:01   Reply from 127.0.0.2  bytes=32  Request  timed  out.\r\n"
    "2. 03/07 14:05:02   Reply from 127.0.0.2  bytes=32  time=3ms  TTL=128  ok\r\n"
    "  \r\n"
    " \r\n";

inline constexpr const char* kSampleCsv =
    "Ping test at,2026/03/07 14:05:01  -  2026/03/07 14:05:02\r\n"
    " \r\n \r\n \r\n"
    "Reault:\r\n \r\n"
    "Sent,4\r\n"
    "Received,3\r\n"
    "Lost,1\r\n"
    "Loss Rate,25.00 %\r\n"
    "Min Time,1 ms\r\n"
    "Max Time,15 ms\r\n"
    "Avg Time,6 ms\r\n"
    "Avg TTL,85\r\n"
    " \r\n \r\nDetail:\r\n \r\n"
    "No.,Year,Month,Day,Hour,Minute,Second,IP,Send Buffer Size(Byte),Time(ms),TTL,Status\r\n"
    "1.,2026,03,07,14,05,01,127.0.0.1,32,15,64,ip success\r\n"
    "2.,2026,03,07,14,05,02,127.0.0.1,32,0,64,ip success\r\n"
    "  \r\n"
    "1.,2026,03,07,14,05,01,localhost / 127.0.0.2,32,,0,Request  timed  out.\r\n"
    "2.,2026,03,07,14,05,02,localhost / 127.0.0.2,32,3,128,ip success\r\n"
    "  \r\n"
    " \r\n";

}  // namespace sondrel::testing_export
