#include "resources/string_table.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/text.h"

namespace pixolune {
namespace {

// Every group, key and English text the program relies on, in the order the
// groups are built: "[Group]" lines, then "key<TAB>text" lines; "<CRLF>"
// stands for a line break inside a text.
constexpr const char* kExpectedContents = R"(
[Menu]
File	File
New	New
Open	Open...
Save As	Save As...
Select Input File	Add Input File...
Select Input Files	Add Input Files...
Select Input Folder	Add Input Folder...
Delete Input Files	Delete Files From the List
Select Output Folder	Select Output Folder...
Output Format Options	Options...
Import Input Files	Import Files...
Export Input Files	Export Files...
Exit	Exit
Edit	Edit
Copy	Copy
Delete	Delete
Select All	Select All
Converter	Converter
Convert	Convert
Batch Convert	Batch Convert...
Preview	Preview...
Custom Converter	Find a File Converter...
Preferences	Preferences...
Help	Help
Manual	User Manual...
Send Feedback	Send Feedback
Visit Homepage	Visit the Program's Homepage
Check For New Version	Check For a New Version
About	About...
[General]
Input File	Input File:
Input Files	Input Files:
Filename	Filename
Output Folder	Output Folder:
Output Format	Output Format:
Convert	Convert
Ready	Ready
Preparing	Preparing...
Importing	Importing...
Converting	Converting...
[Msg]
Error	Error
Warning	Warning
Insufficient memory	Insufficient Memory
Unable to open file	Unable to open the file: %s1%!
Unable to save file	Unable to save the file: %s1%!
Empty input files	No input file(s) found. Please, add valid file(s) and try again!
Empty input folder	The input folder's field is empty. Please, check the existed input folder and try again!
Invalid input folder	The following input folder is invalid or doesn't exist:<CRLF>%s1%<CRLF><CRLF>Please, correct the input path and try again!
Empty output folder	The output folder's field is empty. Please, select existed output folder and try again!
Invalid output folder	The following output folder is invalid or doesn't exist:<CRLF>%s1%<CRLF><CRLF>Please, correct the output path and try again!
Invalid width	Invalid resize width value!
Invalid height	Invalid resize height value!
Invalid conversion type	Invalid conversion type!
Invalid watermark font	Unable to load selected font for a watermark: %s1%
Empty watermark image	Selected watermark image is invalid/empty!
Invalid watermark image	Unable to load selected file as a watermark image: %s1%
Import complete	Import complete, new files added: %s1%
Import is not complete	Import stopped
Export complete	Export complete, entries saved: %s1%
Export is not complete	Export stopped
Conversion complete	Conversion complete
Conversion is not complete	Conversion stopped
Progress	(%s1%/%s2%)
Files converted	Files converted: %s1% of %s2%
New Update	New Update
New Update Text	A new version of Pixolune is available! Are you ready to download it right now?
No Update	No Update
No Update Text	There is no update of Pixolune yet. You're using the most recent version.
Check for Updates	Check for Updates
Ask check for updates	Do you want to check for updates?
Reset to Defaults	Reset to Defaults
Ask reset to defaults	Are you sure you want to reset all your settings to the default values?
Internet connection problems	Internet connection problems!
Ask overwrite file	The file already exist. Do you want to overwrite it?
Clean recent files	Clean Recent Files
Ask clean recent files	Do you want to clean the recent files list?
Ask continue to find	No matches of %s1% found!<CRLF><CRLF>Do you want to search from the start of the list?
Ask break import	Do you want to break the import?
Ask break export	Do you want to break the export?
Ask break conversion	Do you want to break the conversion?
Empty extensions	Please, fill all required fields and try again!
Conversion failed files	Conversion finished, %s1% of %s2% failed
Not converted	Not converted:
Estimating time left	Estimating the time left...
Second left	About %s1% second left
Seconds left	About %s1% seconds left
Minute left	About %s1% minute left
Minutes left	About %s1% minutes left
Stopping conversion	Stopping after the file in hand...
Ask remove file	The list holds %s1% file. Do you want to remove it from the list?
Ask remove files	The list holds %s1% files. Do you want to remove them from the list?
Unable to open address	The following address could not be opened:<LF>%s1%<LF><LF>The desktop has no program set up for it (xdg-open failed). Open it by hand.
Line skipped	%s1% line skipped (not found or not documents)
Lines skipped	%s1% lines skipped (not found or not documents)
[Dialog]
Select Input Files	Select Input Files
Select Input Folder	Select Input Folder
Select Output Folder	Select Output Folder
Import Input Files	Import Input Files From A List
Export Input Files	Export Input Files
Select Watermark Image	Select Watermark Image
All Supported Files	All Supported Files
Text Files	Text Files
All Files	All Files
Import Progress	Importing
Export Progress	Exporting
Convert Progress	Converting
OK	OK
Cancel	Cancel
Stop	Stop
Help	Help
Defaults	Defaults
[About]
Title	About...
Version	Version:
Website	Web:
Email	E-mail:
[Custom-Converter]
Title	Find a File Converter
From	From:
To	To:
Search	Search
[Uninstall]
Title	Uninstall
Uninstall Text	Full Uninstall - Visit Uninstall Center
Next	Next
[Preferences]
Title	Preferences...
None	None
Auto	Auto
General	General
Language	Language:
Check for Updates	Check for Updates:
Every day	Every day
Every week	Every week
Every month	Every month
Every 3 months	Every 3 months
Every 6 months	Every 6 months
Never	Never
Save window position	Save Window's Coords:
Interface	Interface
UI Theme	Theme:
UI Size	Icon Size:
Small	Small
Medium	Medium
Large	Large
Extra Large	Extra Large
Huge	Huge
Input	Input
Input Format	Input Format:
Header Size	Header Size:
Bytes	bytes
Load As	Load As:
RGB8	RGB 8-bit
RGB16	RGB 16-bit
RGB24	RGB 24-bit
RGB48HS	RGB 48-bit (HS)
RGB48	RGB 48-bit
BGRA	BGR 32-bit
RGBA	RGB 32-bit
Frame Loading	Frame Loading:
All Frames	All
First Frame	First
Middle Frame	Middle
Last Frame	Last
Random Frame	Random
Tone Mapping	HDR Tone Mapping:
Linear	Linear
Adaptive Logarithmic	Adaptive Logarithmic
DR Reduction	DR Reduction
Gradient Domain	Gradient Domain
Output	Output
Output Format	Output Format:
Bits Per Pixel	Bits Per Pixel:
Compression	Compression:
RLE	RLE
ZIP	ZIP
PIZ	PIZ Wavelet
PXR24	PXR24
B44	B44
ZLIB1	ZLib Level 1
ZLIB6	ZLib Level 6
ZLIB9	ZLib Level 9
CCITTFAX3	CCITT Group 3 Fax
CCITTFAX4	CCITT Group 4 Fax
PACKBITS	PackBits
DEFLATE	Deflate (ZLib)
ADOBEDEFLATE	Adobe Deflate
LZW	LZW
JPEG	JPEG
LOGLUV	LogLuv
Color Table	Color Table:
Exact	Exact
Color Model	Color Model:
RGB	RGB
CMYK	CMYK
LAB	LAB
Image Quality	Image Quality:
Chroma Subsampling	Chroma Subsampling:
Low	Low
Medium	Medium
High	High
Save As	Save As:
Baseline Standard	Baseline Standard
Baseline Simple	Baseline Simple
Baseline Optimized	Baseline Optimized
Progressive	Progressive
Interlaced	Interlaced:
Transform	Transform
Image Rotation	Image Rotation:
Rotation Type	Rotation Type:
Simple Rotation	Simple
Advanced Rotation	Advanced
Rotation Angle	Rotation Angle:
Background Color	Background Color:
Image Resize	Image Resize:
Image Width	Image Width:
Image Height	Image Height:
Pixels	pixels
Percent	percent
Keep Aspect Ratio	Keep Proportions:
Resize Type	Resize Type:
All Images	All Images
Large Images	Large Images
Resize Algorithm	Resize Algorithm:
Box	Box
Bilinear	Bilinear
Bspline	B-Spline
Bicubic	Bicubic
Catmullrom	Catmull-Rom Spline
Lanczos	Lanczos
Image Flip Horizontal	Flip Horizontal:
Image Flip Vertical	Flip Vertical:
Adjustment	Adjustment
Image Brightness	Image Brightness:
Image Contrast	Image Contrast:
Image Gamma	Gamma Correction:
Image Invert	Invert Image:
Image Greyscale	Greyscale Image:
Image Threshold	Image Threshold:
Threshold Level	Threshold Level:
Frame	Frame
Frame Type	Frame:
Frame Solid	Solid Color
Left	Left:
Right	Right:
Top	Top:
Bottom	Bottom:
Left Color	Left Color:
Right Color	Right Color:
Top Color	Top Color:
Bottom Color	Bottom Color:
Watermark	Watermark
Watermark Type	Watermark:
Watermark Text	Text
Watermark Image	Image
Text	Text:
Image	Image:
Font	Font:
Font Size	Font Size:
Points	points
Font Leading	Font Leading:
Font Color	Font Color:
Color	Color
Black	Black
Silver	Silver
Gray	Gray
White	White
Maroon	Maroon
Red	Red
Purple	Purple
Fuchsia	Fuchsia
Green	Green
Lime	Lime
Olive	Olive
Yellow	Yellow
Navy	Navy
Blue	Blue
Teal	Teal
Aqua	Aqua
Orange	Orange
Brown	Brown
Violet	Violet
Font Style	Font Style:
Regular	Regular
Bold	Bold
Italic	Italic
Bold Italic	Bold Italic
Font Effect	Font Effect:
Underline	Underline
Strikeout	Strikethrough
Antialiasing	Antialiasing:
Text Alignment	Text Alignment:
Align Left	Left
Align Center	Center
Align Right	Right
Text Padding	Text Padding:
Text Opacity	Text Opacity:
Background Opacity	Background Opacity:
Opacity	Opacity:
Boundary	Boundary:
Bound Image	Image
Bound Frame	Frame
Position	Position:
Top-Left	Top-Left
Top-Center	Top-Center
Top-Right	Top-Right
Middle-Left	Middle-Left
Middle-Center	Middle-Center
Middle-Right	Middle-Right
Bottom-Left	Bottom-Left
Bottom-Center	Bottom-Center
Bottom-Right	Bottom-Right
X-Offset	X-Offset:
Y-Offset	Y-Offset:
Size	Size:
Fixed	Fixed
Proportional	Proportional
Fit	Fit
Fill	Fill
Scale	Scale:
Advanced	Advanced
Filename Mask	Filename Mask:
File Timestamp	File Timestamp:
Current	Current
Original	Original
Custom	Custom
Custom Timestamp	Custom Timestamp:
Out Folders History	Output Folders History:
Clean On Exit	Clean on Exit
Keep Folders	Keep Recent
Out Folders Number	Output Folders Number:
Keep Subfolders	Keep Subfolders:
Export	Export
Txt	TXT
Txt Export	Export to TXT
Csv Export	Export to CSV
Csv	CSV
Csv Delimiter	CSV Delimiter:
Privacy	Privacy
Clean Recent Files	Clean Recent Files List on Exit
[Preview]
Title	Preview
Preparing	Preparing preview...
No Selection	Please, select a file in the list to preview its output!
No Folder	No temporary folder could be made for the preview.
Unreadable	the converted file could not be read back
Failed	The file could not be converted: %s1%
Output Name	Output name: %s1%
Picture Size	Size: %s1% x %s2% pixels, %s3% bits per pixel
File Size	File size: %s1% (%s2% bytes)
Close	Close
)";

struct Expected {
  std::string group;
  std::string key;
  std::string text;
};

std::vector<Expected> expectedEntries() {
  std::vector<Expected> entries;
  std::istringstream in(kExpectedContents);
  std::string line, group;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line.front() == '[') {
      group = line.substr(1, line.size() - 2);
      continue;
    }
    size_t tab = line.find('\t');
    const std::string text = replaceIgnoreCase(line.substr(tab + 1), "<CRLF>", "\r\n");
    entries.push_back({group, line.substr(0, tab), replaceIgnoreCase(text, "<LF>", "\n")});
  }
  return entries;
}

class StringTableTest : public ::testing::Test {
 protected:
  void SetUp() override { loadStringTable(); }
  void TearDown() override { loadStringTable(); }
};

TEST_F(StringTableTest, EveryEntryOfTheContentsIsFound) {
  std::vector<Expected> entries = expectedEntries();
  ASSERT_EQ(345u, entries.size());
  for (const Expected& e : entries) EXPECT_EQ(e.text, getText(e.group, e.key)) << e.group << " / " << e.key;
}

TEST_F(StringTableTest, GroupsHoldTheirEntryCountsInBlockOrder) {
  const StringTable& table = stringTable();
  const char* names[] = {"MENU",      "GENERAL",   "MSG", "DIALOG", "ABOUT", "CUSTOM-CONVERTER",
                         "UNINSTALL", "PREFERENCES", "PREVIEW"};
  const int counts[] = {29, 10, 54, 17, 4, 4, 3, 225, 10};
  ASSERT_EQ(9, table.group_count);
  int next_first = 1;
  for (int g = 1; g <= 9; ++g) {
    EXPECT_EQ(names[g - 1], table.groups[g].name);
    EXPECT_EQ(next_first, table.groups[g].first);
    EXPECT_EQ(counts[g - 1], table.groups[g].last - table.groups[g].first + 1) << names[g - 1];
    next_first = table.groups[g].last + 1;
  }
}

TEST_F(StringTableTest, EntriesAreSortedAndSlotsPointAtTheFirstOfEachLetter) {
  const StringTable& table = stringTable();
  for (int g = 1; g <= table.group_count; ++g) {
    const StringGroup& group = table.groups[g];
    for (int j = group.first; j <= group.last; ++j) {
      if (j > group.first) {
        EXPECT_LE(table.keys[j - 1], table.keys[j]);
      }
      unsigned char c = static_cast<unsigned char>(table.keys[j][0]);
      int slot = group.first_char_slot[c];
      EXPECT_EQ(static_cast<unsigned char>(table.keys[slot][0]), c);
      EXPECT_TRUE(slot == group.first || static_cast<unsigned char>(table.keys[slot - 1][0]) != c);
    }
  }
}

TEST_F(StringTableTest, LookupIgnoresLetterCase) {
  EXPECT_EQ("Error", getText("msg", "error"));
  EXPECT_EQ("Find a File Converter", getText("CUSTOM-CONVERTER", "tItLe"));
}

TEST_F(StringTableTest, MissingGroupOrKeyGivesTheErrorText) {
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Msg", "No such key"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Nowhere", "Error"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Msg", ""));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("", "Error"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Msg", "\xC4\x80rror"));  // Starts above U+00FF.
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Msg", "\xE9rror"));      // Not UTF-8.
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Msg", "Erro"));          // A prefix is not a key.
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Msg", "Error "));
}

TEST_F(StringTableTest, ConsecutiveLookupsInDifferentGroupsReplaceTheCache) {
  EXPECT_EQ("Converter", getText("Menu", "Converter"));
  EXPECT_EQ("Converting...", getText("General", "Converting"));
  EXPECT_EQ("Convert", getText("Menu", "Convert"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("General", "Converter"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Nowhere", "Convert"));
  EXPECT_EQ("Convert", getText("Menu", "Convert"));
}

TEST_F(StringTableTest, KeysThatArePrefixesOfOthersSortFirst) {
  // "TEXT" sorts before "TEXT ALIGNMENT" and both are found.
  EXPECT_EQ("Text:", getText("Preferences", "Text"));
  EXPECT_EQ("Text Alignment:", getText("Preferences", "Text Alignment"));
  EXPECT_EQ("Custom", getText("Preferences", "Custom"));
  EXPECT_EQ("Custom Timestamp:", getText("Preferences", "Custom Timestamp"));
  EXPECT_EQ("Medium", getText("Preferences", "Medium"));  // Listed twice; either copy.
}

TEST_F(StringTableTest, OneSlotServesAGroupWhoseKeysShareTheirFirstLetter) {
  const char* block[] = {"_group_", "Same", "Sz", "last", "Sb", "second", "Sa", "first",
                         "_GROUP_", "Empty", "_END_", "", "Never", "read"};
  buildStringTable(block);
  const StringTable& table = stringTable();
  ASSERT_EQ(2, table.group_count);
  EXPECT_EQ(1, table.groups[1].first_char_slot['S']);
  EXPECT_EQ("SA", table.keys[1]);
  EXPECT_EQ("first", getText("same", "sa"));
  EXPECT_EQ("second", getText("same", "SB"));
  EXPECT_EQ("last", getText("same", "sz"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("same", "S"));   // Sorts before every entry.
  EXPECT_EQ("%NO_STRING_ERROR%", getText("same", "Szz"));  // Sorts after the last.
  EXPECT_EQ("%NO_STRING_ERROR%", getText("same", "Never"));
  EXPECT_GT(table.groups[2].first, table.groups[2].last);
  EXPECT_EQ("%NO_STRING_ERROR%", getText("Empty", "Sa"));
}

TEST_F(StringTableTest, BlockWithoutEndStopsAtItsLastPair) {
  const char* block[] = {"_GROUP_", "G", "k", "v", "dangling"};
  buildStringTable(block);
  EXPECT_EQ("v", getText("g", "K"));
  EXPECT_EQ("%NO_STRING_ERROR%", getText("g", "dangling"));
}

TEST(FormatMessage, FillsPlaceholdersInOrder) {
  EXPECT_EQ("Files converted: 3 of %s2%", formatMessage("Files converted: %s1% of %s2%", "3", ""));
  EXPECT_EQ("Files converted: 3 of 7", formatMessage("Files converted: %s1% of %s2%", "3", "7"));
  EXPECT_EQ("a-b-c-d a", formatMessage("%s1%-%s2%-%s3%-%s4% %s1%", "a", "b", "c", "d"));
  EXPECT_EQ("Unable to open the file: x.psd!", formatMessage("Unable to open the file: %S1%!", "x.psd"));
  EXPECT_EQ("", formatMessage("", "a", "b"));
  EXPECT_EQ("no placeholders", formatMessage("no placeholders", "a"));
}

TEST(FormatMessage, LaterArgumentsFillPlaceholdersInsideEarlierOnes) {
  EXPECT_EQ("[x] x", formatMessage("%s1% %s2%", "[%s2%]", "x"));
  EXPECT_EQ("%s1%", formatMessage("%s1%", "%s1%"));  // Inserted once, not re-scanned.
}

}  // namespace
}  // namespace pixolune
