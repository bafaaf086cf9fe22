// The developer kit's tools, in chip order.
#pragma once

enum class DevTool { json, jwt, uuid, base64, epoch, color, qr, ocr, image };
