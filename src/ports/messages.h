#pragma once

// Every text the program shows in a message box, a status line or a dialog, in one place, so
// that a text shown from several rooms is typed once.

namespace fotolyx {

// Captions shared by several rooms.
inline constexpr char CAPTION_FOTOLYX[] = "Fotolyx";
inline constexpr char CAPTION_ERROR[] = "ERROR";
inline constexpr char CAPTION_WARNING[] = "WARNING";
inline constexpr char CAPTION_GLOBAL_MEMORY[] = "Global Memory";
inline constexpr char CAPTION_VISTACAM_INFO[] = "Vistacam Info";
// Boxes shown without a caption get the system's own.
inline constexpr char SYSTEM_ERROR_CAPTION[] = "Error";

inline constexpr char TEXT_NOT_ENOUGH_MEMORY[] = "Not enough memory.";
inline constexpr char TEXT_FILE_TYPE_WRONG[] = "This file type is wrong.";

// The frame's own questions.
inline constexpr char TEXT_EXIT_QUESTION[] = "Exit Fotolyx?";
inline constexpr char TEXT_ERASE_QUESTION[] = "Delete all Flash memory?";
inline constexpr char CAPTION_ALL_ERASE[] = "ALL ERASE";

// Connection set-up.
inline constexpr char TEXT_SETUP_PROCEEDING[] = "Initial Setup with VISTACAM now proceeding";
inline constexpr char TEXT_READY[] = "Ready";
inline constexpr char TEXT_WRONG_MODEL[] = "This Model type is wrong.";
inline constexpr char TEXT_MINIMUM_SPEED[] =
    "Minimum required communication speed for this program is not available.";
inline constexpr char TEXT_VCR_MODE[] =
    " VISTACAM is in VCR MODE.\n\nPlease switch to CAMERA(PHOTO) MODE.";
inline constexpr char TEXT_NO_CARD[] =
    " NO CF CARD!\n\nInsert the CompactFlash Card into the slot.";
inline constexpr char TEXT_GET_COMM_STATE_FAULT[] = "GetCommState FAULT.";
inline constexpr char TEXT_SET_COMM_STATE_FAULT[] = "SetCommState FAULT.";
inline constexpr char CAPTION_CONNECT_ERROR[] = "connect error";
inline constexpr char CAPTION_COM_PORT_ERROR[] = "COM Port ERROR";

// The link dialogs, for the hosts that draw them.
inline constexpr char COM_RECONNECT_TITLE[] = "CONNECT Error";
inline constexpr char COM_RECONNECT_TEXT[] = "Please check PC/VISTACAM Connection.";
inline constexpr char COM_DISCONNECT_TITLE[] = "CONNECT ERROR";
inline constexpr char COM_DISCONNECT_TEXT[] = "The line is disconnected.";
inline constexpr char COM_CANCELOK_TITLE[] = "WARNING";
inline constexpr char COM_CANCELOK_TEXT1[] =
    "CAUTION: If you select OK, the following must be performed to connect the Vistacam:";
inline constexpr char COM_CANCELOK_TEXT2[] =
    "Turn the Vistacam POWER OFF, and then ON, Execute the Fotolyx software again.";

// Transfers from and to the camera.
inline constexpr char TEXT_RECEIVE_PREVIEW[] = "Receive Preview data";
inline constexpr char TEXT_RECEIVE_IMAGE[] = "Receive Image data";
inline constexpr char TEXT_RECEIVE_LIVE[] = "Receive Live Image data";
inline constexpr char TEXT_NO_IMAGES[] = "No images in the Vistacam memory.";
inline constexpr char TEXT_FILE_SIZE_WRONG[] = "This file size is wrong. ";
inline constexpr char TEXT_DELETE_PAGE[] = "Delete selected page?";
inline constexpr char CAPTION_DELETE_PAGE[] = "DELETE PAGE";
inline constexpr char TEXT_DELETE_ALL[] = "Delete all pages?";
inline constexpr char CAPTION_DELETE_ALL[] = "DELETE ALL";
inline constexpr char TEXT_RELOAD[] = "To load the picture from the Vistacam to your PC again?";
inline constexpr char CAPTION_RELOAD[] = "RELOAD";
inline constexpr char TEXT_SEND_IMAGE[] = "Send Image data";
inline constexpr char TEXT_MEMORY_FULL[] = "The Vistacam's memory is full.";
inline constexpr char TEXT_UPLOAD_NOT_PREPARED[] = "The picture could not be prepared for sending.";
inline constexpr char TEXT_UPLOAD_TOO_LARGE[] = "The picture is too large to send.";
inline constexpr char TEXT_INDEX_FULL[] =
    "The Vistacam already lists 800 pictures; no more can be sent.";

// Picture files.
inline constexpr char FILE_NOT_FOUND_TEXT[] = "This file could not be found. ";
inline constexpr char IMAGE_CUT_OFF_TEXT[] = "Part of the image will be cut off.";
inline constexpr char NOT_A_JPEG_TEXT[] = "This is not a Jpeg file.";
inline constexpr char SAVE_CHANGES_FORMAT[] = "Save changes to %s?";
inline constexpr char DISK_FULL_TEXT[] = "Disk is full.";
inline constexpr char DISK_FULL_CAPTION[] = "ZIVU VEVE";
inline constexpr char EXIF_FORMAT_TEXT[] = "Can not change the exif format.";
inline constexpr char THUMBNAIL_TEXT[] = "Can not change to thumbnail.";
inline constexpr char TAG_NOT_FOUND_TEXT[] = "Can not find the Tag.";

}  // namespace fotolyx
