// Copy: the chart as an enhanced metafile, with its caption as text, onto the clipboard.
#pragma once

void copyPieToClipboard();
