#pragma once
// What each help page shows: its panel's name, its screenshot (made by
// scripts/screenshots, carried as a resource) and its texts in order. A text
// with "\n" is one label of several lines.

#include <array>
#include <cstddef>

namespace sondrel {

struct HelpPage {
  const char* panel;
  const char* screenshot;
  std::array<const char*, 10> texts;  // ends at the first null
};

inline constexpr std::array<HelpPage, 7> kHelpPages = {{
    {"PictureFirst_1",
     ":/help/help1.png",
     {"Sondrel  --  Visual network test tool", "1. Ping one or a group of IP addresses.",
      "2. Quick scan network to find IP in use.", "3. Generate summary report for analyzing.",
      "4. Export the test results to txt or csv log file.",
      "5. Run all DOS commands in Windows form.", "6. Automatically test at scheduled time."}},
    {"PicturePing_2",
     ":/help/help2.png",
     {"Perform a Ping Test :", "Step 1.  Select the one or more IP/URL items.",
      "or select 1 IP/URL from a IP Group", "or directly type 1 IP/URL in the Textbox",
      "Step 2.  Select the test parameters.", "Step 3.  Click the 'Ping' to run."}},
    {"PictureScan_3",
     ":/help/help3.png",
     {"Scan network to find IP in use :", "Step 1.  Select the one or more IP/URL items.",
      "Step 2.  Click the button 'Scan ip' to run."}},
    {"PictureDos_4",
     ":/help/help4.png",
     {"Run all other dos commands :", "Click the 'DOS' button to open the DOS form",
      "Select a DOS command", "Select a IP", "Run  DOS command", "Sort the DOS commands",
      "Add the current entered dos command to the list",
      "Autp add the current entered \ndos command to the list",
      "Edit, refresh, delete the dos commands list"}},
    {"PictureReport_5",
     ":/help/help5.png",
     {"Generate summary report :", " Step 1:  After the test finished,",
      "Step 2:  Select the group by time interval.", "Step 3:  Click...",
      "             Click 'Open' to open report.",
      "Step 4:  \nExport the \nreport to txt \nor csv file"}},
    {"PictureExport_6",
     ":/help/help6.png",
     {"Test results", "Export to ...", "Export the test results to txt or csv log file",
      "Open a saved txt or csv file", "Copy the test result screen to clipboard"}},
    {"PictureSchedule_7",
     ":/help/help7.png",
     {"Automatically ping test at scheduled time", "Step 1:   Select 'Schedule'",
      "Step 2:   Select the test dateime", "stand by ..."}},
}};

}  // namespace sondrel
