#pragma once

// Resource numbers of the Windows program (vornak.rc).
#define IDR_MAINFRAME 128
