#pragma once

// Resource ids of KestrelToday.dll. Each area keeps its ids in its own block.

// Version block
#define KESTREL_FILE_VERSION 0, 10, 0, 0
#define KESTREL_FILE_VERSION_TEXT "0.10.0.0"
#define KESTREL_PRODUCT_VERSION 0, 21, 0, 0
#define KESTREL_PRODUCT_VERSION_TEXT "0.21.0.0"

// HTML window
#define IDM_HTML 127
#define IDM_HTML_FULLSCREEN 40014
