// The module that holds TesseractTextRecognizer, loaded by the program the first time the seam is used.
#include "platform/tesseract/TesseractTextRecognizer.h"

extern "C" Q_DECL_EXPORT TextRecognizer* quillbay_make_text_recognizer() {
    return new TesseractTextRecognizer();
}
