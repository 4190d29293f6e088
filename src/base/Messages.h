#pragma once

// The program's fixed message texts. Raise sites and tests share them, so a
// text is written exactly once. The messages for standard output are
// capitalised sentences, each explained in doc/korvel.1 (a test holds them
// to it); the reasons for standard error are lower-case clauses.
namespace msg {

// Command line and job
inline constexpr const char* kWrongParameters = "Wrong program parameteres";
inline constexpr const char* kUnexpected = "Unexpected exception";
inline constexpr const char* kFileOpenError = "File open error";
inline constexpr const char* kOutputEqualsInput = "Output file must differ from input files";
inline constexpr const char* kCantReplaceInput =
    "Can't replace the first input file; the result is in temp.tmp";
// printf-style: the name the result was left under is filled in. Used where
// a file named "temp.tmp" already sits beside the first input.
inline constexpr const char* kResultSetAside = "Can't replace the first input file; the result is in %s";
inline constexpr const char* kWriteError = "Can't write the output file";
inline constexpr const char* kOutputTooLarge = "The result would be 10 GB or larger, which is not supported";
inline constexpr const char* kPageTreeNotObject = "The page tree root is not an object of its own";

// Streams and parser
inline constexpr const char* kGetRawChar = "Internal: called GetRawChar() on non-predictor stream";
inline constexpr const char* kMissingEndstream = "Missing 'endstream'";
inline constexpr const char* kNestedTooDeep = "PDF objects are nested too deeply";

// Opening a document
inline constexpr const char* kCantOpenFile = "Can't open file";
inline constexpr const char* kDamaged = "PDF file was damaged";
inline constexpr const char* kCantParseXRef = "Couldn't parse an xref";
inline constexpr const char* kCantParseXRefStream = "Couldn't parse an xref stream";
inline constexpr const char* kCantParseXRefTable = "Couldn't parse an xref table";
inline constexpr const char* kTrailerWrongType = "Trailer dictionary is wrong type";
inline constexpr const char* kEncrypted = "Encrypted PDF files are not supported";
inline constexpr const char* kPasswordProtected = "PDF file is protected by a password";
inline constexpr const char* kXRefTooLarge = "Cross-reference table is too large";
inline constexpr const char* kObjectStreamTooLarge = "Object stream is too large";
// A warning, not a failure: the input was read from its rebuilt table.
inline constexpr const char* kXRefRebuilt = "cross-reference data rebuilt";
inline constexpr const char* kUntagged = "it has no tags; the result is tagged only in part";
// Warnings for an input with a signed signature field whose bytes the run
// rewrites: the first input's (--incremental would keep it), a later one's.
inline constexpr const char* kSignatureLost =
    "it is signed; its signature will not be valid in the result (--incremental keeps the first input's)";
inline constexpr const char* kLaterSignatureLost = "it is signed; its signature will not be valid in the result";

// Cross-reference streams
inline constexpr const char* kXRefStreamSize = "Size of xref Stream is wrong type";
inline constexpr const char* kXRefStreamW = "W item of xref Stream is wrong type";
inline constexpr const char* kXRefStreamWLength = "W item of xref Stream is wrong length";
inline constexpr const char* kXRefStreamIndex = "Index item of xref Stream is wrong type";
inline constexpr const char* kXRefStreamEof = "Unexpected EOF while reading xref stream section";
inline constexpr const char* kXRefStreamEntryType =
    "Wrong type of xref XRefEntry while reading xref stream section";

// Objects
inline constexpr const char* kCorrupted = "Corrupted PDF file";

// Catalog and pages
inline constexpr const char* kCatalogWrongType = "Catalog CPdfObject is wrong type";
inline constexpr const char* kPagesWrongType = "Top-level pages CPdfObject is wrong type";
inline constexpr const char* kPageCountWrongType =
    "Page count in top-level pages CPdfObject is wrong type";
inline constexpr const char* kKidsWrongType = "Kids CPdfObject is wrong type";
inline constexpr const char* kKidWrongType = "Kid CPdfObject is wrong type";
inline constexpr const char* kPageTreeCycle = "Page tree contains a cycle";
inline constexpr const char* kResourcesNotFound = "Resources are not found";
// printf-style: the page number is filled in.
inline constexpr const char* kAnnotsWrongType = "Page annotations object (page %d) is wrong type";

// Reasons given on standard error only (the lines that say why, for a person)
inline constexpr const char* kSeeHelp = "; see korvel --help";
inline constexpr const char* kMissingSecondInput = "two input files are needed";
inline constexpr const char* kEmptyInputName = "an input file name is empty";
inline constexpr const char* kIsAnInput = "this output file is also an input; choose another name";
inline constexpr const char* kSwitchNotLast = "/s can only come last";
inline constexpr const char* kEmptyOutputName = "the output file name is empty";
inline constexpr const char* kUnknownOption = "unknown option ";
inline constexpr const char* kUnknownValue = "unknown value ";
inline constexpr const char* kCantReadList = "cannot read the argument list ";
inline constexpr const char* kDashAsInput = "- stands for standard output, and only the output may be -";
inline constexpr const char* kUpdateNeedsChain =
    "an incremental update needs the file's cross-reference data as the file states it; append without --incremental";
inline constexpr const char* kTooManyObjects = "the inputs together have more objects than one file can number";

}  // namespace msg
