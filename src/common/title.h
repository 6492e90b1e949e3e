// The program title, shared with the portable pieces (no Windows headers).
#pragma once

#define TW_PROGRAM_TITLE "Tarnwick Uninstaller"
