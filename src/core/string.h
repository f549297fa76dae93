#pragma once

#include <cstdarg>

namespace updater {

// The Updater's one text type: an owned, NUL-terminated 8-bit (UTF-8) text with no stored length.
// Every change allocates a block of exactly the needed size; a failed allocation leaves the text
// pointer null and is reported only by Alloc, Set and Cat. Positions are byte offsets; negative
// positions and piece numbers count from the end.
//
// Besides storage and comparison it takes texts apart by number into words (space-separated,
// quote-aware), items (between a delimiter text) and blocks (between nested markers), without
// ever building a list.
class String {
  public:
    String();
    String(const char* s);  // NOLINT(google-explicit-constructor): texts convert freely
    String(const String& s);
    virtual ~String();

    virtual void Init();
    virtual void Free();
    virtual bool Alloc(unsigned size);
    virtual bool Set(const char* s);
    virtual bool Cat(const char* s);
    virtual const char* CStr() const;
    virtual char* CStr();
    virtual char GetAt(int i);
    virtual char* PtrAt(int i);
    virtual String& Assign(const String& s);
    virtual String& Assign(const char* s);
    virtual String& Append(const String& s);
    virtual String& Append(const char* s);
    virtual String Concat(const String& s) const;
    virtual String Concat(const char* s) const;
    virtual bool EqualsNoCase(const String& s) const;
    virtual bool EqualsNoCase(const char* s) const;
    virtual bool DiffersNoCase(const String& s) const;
    virtual bool DiffersNoCase(const char* s) const;
    virtual int GetLength() const;
    virtual String MidPtr(const char* first, const char* last) const;
    virtual void ReplacePtr(char* first, char* last, const char* s);
    virtual String GetChar(int pos);
    virtual String GetChars(int from, int to);
    virtual void ReplaceChar(int pos, const char* s);
    virtual void ReplaceChars(int from, int to, const char* s);

    // Words: separated by single spaces; a space after an odd number of double quotes does not
    // separate. A single word that begins and ends with a quote comes out without them.
    virtual int CountWords();
    virtual bool FindWords(int from, int to, char** first, char** last);
    virtual String GetWord(int i);
    virtual String GetWords(int from, int to);
    virtual void ReplaceWord(int i, const char* s);
    virtual void ReplaceWords(int from, int to, const char* s);

    // Items: the pieces between occurrences of a non-empty delimiter; empty items exist.
    virtual int CountTokens(const char* delim);
    virtual bool FindTokens(int from, int to, const char* delim, char** first, char** last);
    virtual String GetToken(int i, const char* delim);
    virtual String GetTokens(int from, int to, const char* delim);
    virtual void ReplaceToken(int i, const char* delim, const char* s);
    virtual void ReplaceTokens(int from, int to, const char* delim, const char* s);

    // Blocks: outermost pairs of nested markers, markers included. A stray closing marker drives
    // the depth below zero and hides later simple blocks.
    virtual int CountBlocks(const char* open, const char* close);
    virtual bool FindBlocks(int from, int to, const char* open, const char* close, char** first,
                            char** last);
    virtual String GetBlock(int i, const char* open, const char* close);
    virtual String GetBlocks(int from, int to, const char* open, const char* close);
    virtual void ReplaceBlock(int i, const char* open, const char* close, const char* s);
    virtual void ReplaceBlocks(int from, int to, const char* open, const char* close,
                               const char* s);

    virtual void Trim(const char* pattern);
    virtual void Trim(const char* left, const char* right);
    // Formatting never overruns: the result is as long as the arguments make it.
    virtual String& FormatV(const char* format, va_list args);
    virtual String& LoadFormat(unsigned id, ...);
    virtual String& Format(const char* format, ...);
    virtual int ToInt() const;
    virtual int HexToInt() const;
    virtual void Compact();
    virtual void AssignMulti(const char* list);
    virtual bool ReplaceAll(const char* find, const char* s);
    virtual int CountOf(const char* find) const;

    String& operator=(const String& s) { return Assign(s); }
    String& operator=(const char* s) { return Assign(s); }

  private:
    char* text_;
};

}  // namespace updater
