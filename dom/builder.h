// Scanner handlers that build the page tree while the page is scanned.
#pragma once

// True for the 28 element kinds that make tree nodes.
bool isDOMElement(int id);

// Handlers registered in the scanner's slots; each returns 1.
int kemOpenTagHandler(int id, char* text, int len);
int kemCloseTagHandler(int id, char* text, int len);
int kemTokenHandler(int id, char* text, int len);
int kemPunctHandler(int id, char* text, int len);
int kemUnmatchedHandler(int id, char* text, int len);
int kemEntityHandler(int code);
int kemCommentHandler(int id, char* text, int len);

int handleDOMOpenTag(int id, char* text, int len);
int handleDOMCloseTag(int id, char* text, int len, int implicitCount);
int handleDOMNormalString(int id, char* text, int len);

// Registers the seven handlers above with the scanner, in the fixed order.
void registerDOMHandlers();
// End-of-page close: closes every element still open (no-op when none is).
void closeOpenElements();
