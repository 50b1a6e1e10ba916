#pragma once
// A logged run of two targets and the report files it gives with periods of
// one minute; the window's export and the command line must both write these.

namespace sondrel::testing_report {

inline constexpr char kLog[] =
    "2,1\r\n"
    "2026,03,07,14,05,09,127.0.0.1,32,15,64,0\r\n"
    "2026,03,07,14,05,09,127.0.0.2,32,0,64,0\r\n"
    "2026,03,07,14,05,40,127.0.0.1,32,10,64,0\r\n"
    "2026,03,07,14,05,40,127.0.0.2,32,-1,0,11010\r\n"
    "2026,03,07,14,06,01,127.0.0.1,32,20,64,0\r\n"
    "2026,03,07,14,06,01,127.0.0.2,32,-1,0,11010\r\n";
inline constexpr char kTargets[] = "127.0.0.1\r\nhost.test / 127.0.0.2\r\n";

inline constexpr char kText[] =
    " \r\n"
    "Test Time                              TTL\tSent\tLost\tAvg Time\tLoss Rate\r\n"
    "------------------------------------------------------------------------------------------\r\n"
    "\r\nIP: 127.0.0.1\r\n\r\n"
    "03/07 14:05:09 - 03/07 14:05:40        64\t2\t0\t13 ms    \t  0.00 %  \r\n"
    "03/07 14:06:01 - 03/07 14:06:01        64\t1\t0\t20 ms    \t  0.00 %  \r\n"
    "\r\n \r\n"
    "\r\nIP: host.test / 127.0.0.2\r\n\r\n"
    "03/07 14:05:09 - 03/07 14:05:40        64\t2\t1\t<1 ms    \t 50.00 % \r\n"
    "03/07 14:06:01 - 03/07 14:06:01        0\t1\t1\t---    \t100.00 %\r\n"
    "\r\n \r\n";

inline constexpr char kCsvFiveMinutes[] =
    "Ping Test Report\r\n"
    "Test Time From,To,TTL,Sent,Lost,Avg Time,Loss Rate\r\n"
    "IP: 127.0.0.1\r\n\r\n"
    "03/07 14:05:09,03/07 14:06:01,64,3,0,15,0.00 %  \r\n"
    "\r\n \r\n"
    "IP: host.test / 127.0.0.2\r\n\r\n"
    "03/07 14:05:09,03/07 14:06:01,64,3,2,0,66.67 % \r\n"
    "\r\n \r\n";

}  // namespace sondrel::testing_report
