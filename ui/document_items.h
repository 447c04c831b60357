// The document page's option items: built from a record, read back into it.
#pragma once

#include "ui/ui.h"

enum DocumentItem {
  kItemOrientation,
  kItemPaperWidth,
  kItemPaperLength,
  kItemCopies,
  kItemLineTerminator,
  kItemFormFeed,
  kDocumentItems
};

// The parameters of all items together; document_items.cpp checks at
// compile time that its table needs exactly this many.
#define DRV_UI_DOCUMENT_PARAMS 14

// Everything the common property sheet reads while the page is open; it
// lives in one block from the sheet's start to its release.
struct DocumentItems {
  OPTITEM aItems[kDocumentItems];
  OPTTYPE aTypes[kDocumentItems];
  OPTPARAM aParams[DRV_UI_DOCUMENT_PARAMS];
  // The selections as the page opened: only an item the user changed is
  // written back, so a value the page cannot show survives an unchanged
  // item.
  LONG alOpened[kDocumentItems];
};

// Fills the items from the record. With bLocked no item can be changed.
// Whatever limits the record carries, every up-down range is well formed.
void BuildDocumentItems(DocumentItems* lpItems, const DrvDevMode& dm, BOOL bLocked);

// Writes each changed item's selection into the record.
void ReadDocumentItems(const DocumentItems& items, DrvDevMode* lpDrvDevMode);
