#pragma once

// The SWF writer: everything needed to write an uncompressed SWF movie.

#include "BitBuffer.h"
#include "FlashBaseClasses.h"
#include "FlashBitmapTags.h"
#include "FlashContainers.h"
#include "FlashDisplayTags.h"
#include "FlashHeader.h"
#include "FlashMovie.h"
#include "FlashShape.h"
#include "FlashShapeRecords.h"
#include "FlashShapeTags.h"
#include "FlashSoundTags.h"
#include "FlashStyles.h"
#include "FlashTag.h"
#include "FlashValueRecords.h"
