/* tavolin2 early-bound calls for C: one function a member, generated from
 * the member rows (members.h) by src/tools/prototypes.c; rebuild it with
 * the target tavolin2_prototypes_header, do not edit it.
 *
 * Language: C11 (C++ calls the same slots as member functions: gif->SaveGIF(...)).
 *
 * _GIF_SaveGIF(gif, pic, ...) is gif->lpVtbl->SaveGIF(gif, pic, ...): the
 * parameters carry the names of the rows, by-reference ones as pointers the
 * member may write through, and the result comes back in the last one,
 * pResult.  An early-bound call passes every parameter; the comments give
 * the value a late-bound call supplies for an omitted optional one.  Event
 * interfaces have no slots of their own: a sink's IDispatch::Invoke receives
 * their member ids with the arguments listed below, by value.
 */
#ifndef TAVOLIN2_PROTOTYPES_H
#define TAVOLIN2_PROTOTYPES_H

#include "interfaces.h"

#ifndef __cplusplus
/* clang-format off */

/* _clsTavolin2: class clsTavolin2 (CLSID_clsTavolin2, IID__clsTavolin2), no members of its own */

/* _clsQELPictureViewer: class clsQELPictureViewer (CLSID_clsQELPictureViewer, IID__clsQELPictureViewer), no members of its own */

/* _clsQELCompany: class clsQELCompany (CLSID_clsQELCompany, IID__clsQELCompany), slots from 7 */
static inline HRESULT _clsQELCompany_GetQELCompanyInformation(_clsQELCompany* This, LONG* lResConst, VARIANT* pResult) { return This->lpVtbl->GetQELCompanyInformation(This, lResConst, pResult); } /* slot 7, member id 0x60030000 */

/* _MP3Class: class MP3Class (CLSID_MP3Class, IID__MP3Class), slots from 7 */
static inline HRESULT _MP3Class_get_MP3File(_MP3Class* This, BSTR* pResult) { return This->lpVtbl->get_MP3File(This, pResult); } /* slot 7, member id 0x40030000 */
static inline HRESULT _MP3Class_put_MP3File(_MP3Class* This, BSTR RHS) { return This->lpVtbl->put_MP3File(This, RHS); } /* slot 8, member id 0x40030000 */
static inline HRESULT _MP3Class_GetLastBackSlash(_MP3Class* This, BSTR* text, BSTR* pResult) { return This->lpVtbl->GetLastBackSlash(This, text, pResult); } /* slot 9, member id 0x60030000 */
static inline HRESULT _MP3Class_ListNoChar(_MP3Class* This, IDispatch** List1, IDispatch** List2) { return This->lpVtbl->ListNoChar(This, List1, List2); } /* slot 10, member id 0x60030001 */
static inline HRESULT _MP3Class_MP3Playing(_MP3Class* This, VARIANT_BOOL* pResult) { return This->lpVtbl->MP3Playing(This, pResult); } /* slot 11, member id 0x60030005 */
static inline HRESULT _MP3Class_MP3ChangePositionTo(_MP3Class* This, VARIANT* Second, VARIANT* pResult) { return This->lpVtbl->MP3ChangePositionTo(This, Second, pResult); } /* slot 12, member id 0x60030006 */
static inline HRESULT _MP3Class_MP3PositionInSec(_MP3Class* This, VARIANT* pResult) { return This->lpVtbl->MP3PositionInSec(This, pResult); } /* slot 13, member id 0x60030007 */
static inline HRESULT _MP3Class_MP3PositionInMS(_MP3Class* This, VARIANT* pResult) { return This->lpVtbl->MP3PositionInMS(This, pResult); } /* slot 14, member id 0x60030008 */
static inline HRESULT _MP3Class_MP3Duration(_MP3Class* This, VARIANT* pResult) { return This->lpVtbl->MP3Duration(This, pResult); } /* slot 15, member id 0x60030009 */
static inline HRESULT _MP3Class_MP3DurationInSec(_MP3Class* This, VARIANT* pResult) { return This->lpVtbl->MP3DurationInSec(This, pResult); } /* slot 16, member id 0x6003000A */
static inline HRESULT _MP3Class_MP3DurationInMs(_MP3Class* This, VARIANT* pResult) { return This->lpVtbl->MP3DurationInMs(This, pResult); } /* slot 17, member id 0x6003000B */
static inline HRESULT _MP3Class_MP3Position(_MP3Class* This, VARIANT* pResult) { return This->lpVtbl->MP3Position(This, pResult); } /* slot 18, member id 0x6003000D */
static inline HRESULT _MP3Class_MP3OpenPlayList(_MP3Class* This, BSTR* TheFile, VARIANT* TheListBox, VARIANT* pResult) { return This->lpVtbl->MP3OpenPlayList(This, TheFile, TheListBox, pResult); } /* slot 19, member id 0x6003000E */
static inline HRESULT _MP3Class_MP3SavePlayList(_MP3Class* This, BSTR* TheFile, VARIANT* TheListBox, VARIANT* pResult) { return This->lpVtbl->MP3SavePlayList(This, TheFile, TheListBox, pResult); } /* slot 20, member id 0x6003000F */
static inline HRESULT _MP3Class_MP3Play(_MP3Class* This) { return This->lpVtbl->MP3Play(This); } /* slot 21, member id 0x60030010 */
static inline HRESULT _MP3Class_MP3Stop(_MP3Class* This) { return This->lpVtbl->MP3Stop(This); } /* slot 22, member id 0x60030011 */
static inline HRESULT _MP3Class_MP3Resume(_MP3Class* This) { return This->lpVtbl->MP3Resume(This); } /* slot 23, member id 0x60030012 */
static inline HRESULT _MP3Class_MP3Pause(_MP3Class* This) { return This->lpVtbl->MP3Pause(This); } /* slot 24, member id 0x60030013 */

/* _MovieModule: class MovieModule (CLSID_MovieModule, IID__MovieModule), slots from 7 */
static inline HRESULT _MovieModule_get_Error(_MovieModule* This, LONG* pResult) { return This->lpVtbl->get_Error(This, pResult); } /* slot 7, member id 0x40030001 */
static inline HRESULT _MovieModule_put_Error(_MovieModule* This, LONG RHS) { return This->lpVtbl->put_Error(This, RHS); } /* slot 8, member id 0x40030001 */
static inline HRESULT _MovieModule_get_Filename(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->get_Filename(This, pResult); } /* slot 9, member id 0x40030002 */
static inline HRESULT _MovieModule_put_Filename(_MovieModule* This, BSTR RHS) { return This->lpVtbl->put_Filename(This, RHS); } /* slot 10, member id 0x40030002 */
static inline HRESULT _MovieModule_stepFrames(_MovieModule* This, LONG* Value, VARIANT* pResult) { return This->lpVtbl->stepFrames(This, Value, pResult); } /* slot 11, member id 0x60030000 */
static inline HRESULT _MovieModule_restoreSizeDefault(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->restoreSizeDefault(This, pResult); } /* slot 12, member id 0x60030001 */
static inline HRESULT _MovieModule_openMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->openMovie(This, pResult); } /* slot 13, member id 0x60030002 */
static inline HRESULT _MovieModule_openMovieWindow(_MovieModule* This, LONG* hwnd, BSTR* WindowStyle, VARIANT* pResult) { return This->lpVtbl->openMovieWindow(This, hwnd, WindowStyle, pResult); } /* slot 14, member id 0x60030003 */
static inline HRESULT _MovieModule_minimizeMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->minimizeMovie(This, pResult); } /* slot 15, member id 0x60030004 */
static inline HRESULT _MovieModule_playMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->playMovie(This, pResult); } /* slot 16, member id 0x60030005 */
static inline HRESULT _MovieModule_hideMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->hideMovie(This, pResult); } /* slot 17, member id 0x60030006 */
static inline HRESULT _MovieModule_showMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->showMovie(This, pResult); } /* slot 18, member id 0x60030007 */
static inline HRESULT _MovieModule_restoreMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->restoreMovie(This, pResult); } /* slot 19, member id 0x60030008 */
static inline HRESULT _MovieModule_stopMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->stopMovie(This, pResult); } /* slot 20, member id 0x60030009 */
static inline HRESULT _MovieModule_extractCurrentMovieSize(_MovieModule* This, LONG* wLeft, LONG* wTop, LONG* wWidth, LONG* wHeight, VARIANT* pResult) { return This->lpVtbl->extractCurrentMovieSize(This, wLeft, wTop, wWidth, wHeight, pResult); } /* slot 21, member id 0x6003000A */
static inline HRESULT _MovieModule_extractDefaultMovieSize(_MovieModule* This, LONG* wWidth, LONG* wHeight, VARIANT* pResult) { return This->lpVtbl->extractDefaultMovieSize(This, wWidth, wHeight, pResult); } /* slot 22, member id 0x6003000B */
static inline HRESULT _MovieModule_getBitsPerPixel(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->getBitsPerPixel(This, pResult); } /* slot 23, member id 0x6003000C */
static inline HRESULT _MovieModule_getMovieInput(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getMovieInput(This, pResult); } /* slot 24, member id 0x6003000D */
static inline HRESULT _MovieModule_getMovieOutput(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getMovieOutput(This, pResult); } /* slot 25, member id 0x6003000E */
static inline HRESULT _MovieModule_getAudioStatus(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getAudioStatus(This, pResult); } /* slot 26, member id 0x6003000F */
static inline HRESULT _MovieModule_sizeLocateMovie(_MovieModule* This, LONG* Left, LONG* Top, LONG* Width, LONG* Height, VARIANT* pResult) { return This->lpVtbl->sizeLocateMovie(This, Left, Top, Width, Height, pResult); } /* slot 27, member id 0x60030010 */
static inline HRESULT _MovieModule_isMoviePlaying(_MovieModule* This, VARIANT_BOOL* pResult) { return This->lpVtbl->isMoviePlaying(This, pResult); } /* slot 28, member id 0x60030011 */
static inline HRESULT _MovieModule_checkError(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->checkError(This, pResult); } /* slot 29, member id 0x60030012 */
static inline HRESULT _MovieModule_getDeviceName(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getDeviceName(This, pResult); } /* slot 30, member id 0x60030013 */
static inline HRESULT _MovieModule_getDeviceVersion(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getDeviceVersion(This, pResult); } /* slot 31, member id 0x60030014 */
static inline HRESULT _MovieModule_getNominalFrameRate(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getNominalFrameRate(This, pResult); } /* slot 32, member id 0x60030015 */
static inline HRESULT _MovieModule_getFramePerSecRate(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getFramePerSecRate(This, pResult); } /* slot 33, member id 0x60030016 */
static inline HRESULT _MovieModule_getCurrentSize(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getCurrentSize(This, pResult); } /* slot 34, member id 0x60030017 */
static inline HRESULT _MovieModule_getDefaultSize(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getDefaultSize(This, pResult); } /* slot 35, member id 0x60030018 */
static inline HRESULT _MovieModule_getLengthInFrames(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getLengthInFrames(This, pResult); } /* slot 36, member id 0x60030019 */
static inline HRESULT _MovieModule_getLengthInMS(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getLengthInMS(This, pResult); } /* slot 37, member id 0x6003001A */
static inline HRESULT _MovieModule_playFullScreen(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->playFullScreen(This, pResult); } /* slot 38, member id 0x6003001B */
static inline HRESULT _MovieModule_getLengthInSec(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getLengthInSec(This, pResult); } /* slot 39, member id 0x6003001C */
static inline HRESULT _MovieModule_setVideoOff(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setVideoOff(This, pResult); } /* slot 40, member id 0x6003001D */
static inline HRESULT _MovieModule_setVideoOn(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setVideoOn(This, pResult); } /* slot 41, member id 0x6003001E */
static inline HRESULT _MovieModule_pauseMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->pauseMovie(This, pResult); } /* slot 42, member id 0x6003001F */
static inline HRESULT _MovieModule_resumeMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->resumeMovie(This, pResult); } /* slot 43, member id 0x60030020 */
static inline HRESULT _MovieModule_getPositionInMS(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getPositionInMS(This, pResult); } /* slot 44, member id 0x60030021 */
static inline HRESULT _MovieModule_getRate(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getRate(This, pResult); } /* slot 45, member id 0x60030022 */
static inline HRESULT _MovieModule_getPositionInFrames(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getPositionInFrames(This, pResult); } /* slot 46, member id 0x60030023 */
static inline HRESULT _MovieModule_getStatus(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getStatus(This, pResult); } /* slot 47, member id 0x60030024 */
static inline HRESULT _MovieModule_closeMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->closeMovie(This, pResult); } /* slot 48, member id 0x60030025 */
static inline HRESULT _MovieModule_getFormatPosition(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getFormatPosition(This, pResult); } /* slot 49, member id 0x60030026 */
static inline HRESULT _MovieModule_getFormatLength(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getFormatLength(This, pResult); } /* slot 50, member id 0x60030027 */
static inline HRESULT _MovieModule_getVolume(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getVolume(This, pResult); } /* slot 51, member id 0x60030029 */
static inline HRESULT _MovieModule_getVideoStatus(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getVideoStatus(This, pResult); } /* slot 52, member id 0x6003002A */
static inline HRESULT _MovieModule_getTimeFormat(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->getTimeFormat(This, pResult); } /* slot 53, member id 0x6003002B */
static inline HRESULT _MovieModule_getLeftVolume(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getLeftVolume(This, pResult); } /* slot 54, member id 0x6003002C */
static inline HRESULT _MovieModule_getPositionInSec(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getPositionInSec(This, pResult); } /* slot 55, member id 0x6003002D */
static inline HRESULT _MovieModule_getRightVolume(_MovieModule* This, LONG* pResult) { return This->lpVtbl->getRightVolume(This, pResult); } /* slot 56, member id 0x6003002E */
static inline HRESULT _MovieModule_setAudioOff(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setAudioOff(This, pResult); } /* slot 57, member id 0x6003002F */
static inline HRESULT _MovieModule_setAudioOn(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setAudioOn(This, pResult); } /* slot 58, member id 0x60030030 */
static inline HRESULT _MovieModule_setLeftOff(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setLeftOff(This, pResult); } /* slot 59, member id 0x60030031 */
static inline HRESULT _MovieModule_setRightOff(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setRightOff(This, pResult); } /* slot 60, member id 0x60030032 */
static inline HRESULT _MovieModule_setLeftOn(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setLeftOn(This, pResult); } /* slot 61, member id 0x60030033 */
static inline HRESULT _MovieModule_setRightOn(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setRightOn(This, pResult); } /* slot 62, member id 0x60030034 */
static inline HRESULT _MovieModule_setDoorOpen(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setDoorOpen(This, pResult); } /* slot 63, member id 0x60030035 */
static inline HRESULT _MovieModule_setDoorClosed(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->setDoorClosed(This, pResult); } /* slot 64, member id 0x60030036 */
static inline HRESULT _MovieModule_setVolume(_MovieModule* This, LONG* Value, VARIANT* pResult) { return This->lpVtbl->setVolume(This, Value, pResult); } /* slot 65, member id 0x60030037 */
static inline HRESULT _MovieModule_setPositionTo(_MovieModule* This, LONG* Second, VARIANT* pResult) { return This->lpVtbl->setPositionTo(This, Second, pResult); } /* slot 66, member id 0x60030038 */
static inline HRESULT _MovieModule_restartMovie(_MovieModule* This, VARIANT* pResult) { return This->lpVtbl->restartMovie(This, pResult); } /* slot 67, member id 0x60030039 */
static inline HRESULT _MovieModule_rewindByMS(_MovieModule* This, LONG* numMS, VARIANT* pResult) { return This->lpVtbl->rewindByMS(This, numMS, pResult); } /* slot 68, member id 0x6003003A */
static inline HRESULT _MovieModule_rewindByFrames(_MovieModule* This, LONG* numFrames, VARIANT* pResult) { return This->lpVtbl->rewindByFrames(This, numFrames, pResult); } /* slot 69, member id 0x6003003B */
static inline HRESULT _MovieModule_rewindBySeconds(_MovieModule* This, LONG* numSec, VARIANT* pResult) { return This->lpVtbl->rewindBySeconds(This, numSec, pResult); } /* slot 70, member id 0x6003003C */
static inline HRESULT _MovieModule_forwardByFrames(_MovieModule* This, LONG* numFrames, VARIANT* pResult) { return This->lpVtbl->forwardByFrames(This, numFrames, pResult); } /* slot 71, member id 0x6003003D */
static inline HRESULT _MovieModule_forwardByMS(_MovieModule* This, LONG* numMS, VARIANT* pResult) { return This->lpVtbl->forwardByMS(This, numMS, pResult); } /* slot 72, member id 0x6003003E */
static inline HRESULT _MovieModule_forwardBySeconds(_MovieModule* This, LONG* numSec, VARIANT* pResult) { return This->lpVtbl->forwardBySeconds(This, numSec, pResult); } /* slot 73, member id 0x6003003F */
static inline HRESULT _MovieModule_checkDeviceReady(_MovieModule* This, BSTR* pResult) { return This->lpVtbl->checkDeviceReady(This, pResult); } /* slot 74, member id 0x60030040 */
static inline HRESULT _MovieModule_setSpeed(_MovieModule* This, LONG* Value, VARIANT* pResult) { return This->lpVtbl->setSpeed(This, Value, pResult); } /* slot 75, member id 0x60030041 */
static inline HRESULT _MovieModule_setLeftVolume(_MovieModule* This, LONG* Value, VARIANT* pResult) { return This->lpVtbl->setLeftVolume(This, Value, pResult); } /* slot 76, member id 0x60030042 */
static inline HRESULT _MovieModule_setRightVolume(_MovieModule* This, LONG* Value, VARIANT* pResult) { return This->lpVtbl->setRightVolume(This, Value, pResult); } /* slot 77, member id 0x60030043 */
static inline HRESULT _MovieModule_timeOut(_MovieModule* This, VARIANT* duration) { return This->lpVtbl->timeOut(This, duration); } /* slot 78, member id 0x60030044 */

/* _clsBCAT175: class clsBCAT175 (CLSID_clsBCAT175, IID__clsBCAT175), slots from 7 */
static inline HRESULT _clsBCAT175_get_InputString(_clsBCAT175* This, BSTR* pResult) { return This->lpVtbl->get_InputString(This, pResult); } /* slot 7, member id 0x68030007 */
static inline HRESULT _clsBCAT175_put_InputString(_clsBCAT175* This, BSTR RHS) { return This->lpVtbl->put_InputString(This, RHS); } /* slot 8, member id 0x68030007 */
static inline HRESULT _clsBCAT175_ClearAll(_clsBCAT175* This) { return This->lpVtbl->ClearAll(This); } /* slot 9, member id 0x60030008 */
static inline HRESULT _clsBCAT175_get_FirstCharacter(_clsBCAT175* This, BSTR* pResult) { return This->lpVtbl->get_FirstCharacter(This, pResult); } /* slot 10, member id 0x68030006 */
static inline HRESULT _clsBCAT175_put_FirstCharacter(_clsBCAT175* This, BSTR RHS) { return This->lpVtbl->put_FirstCharacter(This, RHS); } /* slot 11, member id 0x68030006 */
static inline HRESULT _clsBCAT175_get_LastCharacter(_clsBCAT175* This, BSTR* pResult) { return This->lpVtbl->get_LastCharacter(This, pResult); } /* slot 12, member id 0x68030005 */
static inline HRESULT _clsBCAT175_put_LastCharacter(_clsBCAT175* This, BSTR RHS) { return This->lpVtbl->put_LastCharacter(This, RHS); } /* slot 13, member id 0x68030005 */
static inline HRESULT _clsBCAT175_get_Length(_clsBCAT175* This, SHORT* pResult) { return This->lpVtbl->get_Length(This, pResult); } /* slot 14, member id 0x68030004 */
static inline HRESULT _clsBCAT175_put_Length(_clsBCAT175* This, SHORT RHS) { return This->lpVtbl->put_Length(This, RHS); } /* slot 15, member id 0x68030004 */
static inline HRESULT _clsBCAT175_get_Code1(_clsBCAT175* This, VARIANT* pResult) { return This->lpVtbl->get_Code1(This, pResult); } /* slot 16, member id 0x68030003 */
static inline HRESULT _clsBCAT175_put_Code1(_clsBCAT175* This, VARIANT RHS) { return This->lpVtbl->put_Code1(This, RHS); } /* slot 17, member id 0x68030003 */
static inline HRESULT _clsBCAT175_get_Code2(_clsBCAT175* This, VARIANT* pResult) { return This->lpVtbl->get_Code2(This, pResult); } /* slot 18, member id 0x68030002 */
static inline HRESULT _clsBCAT175_put_Code2(_clsBCAT175* This, VARIANT RHS) { return This->lpVtbl->put_Code2(This, RHS); } /* slot 19, member id 0x68030002 */
static inline HRESULT _clsBCAT175_get_Code3(_clsBCAT175* This, VARIANT* pResult) { return This->lpVtbl->get_Code3(This, pResult); } /* slot 20, member id 0x68030001 */
static inline HRESULT _clsBCAT175_put_Code3(_clsBCAT175* This, VARIANT RHS) { return This->lpVtbl->put_Code3(This, RHS); } /* slot 21, member id 0x68030001 */
static inline HRESULT _clsBCAT175_GuessInputString(_clsBCAT175* This, BSTR* pResult) { return This->lpVtbl->GuessInputString(This, pResult); } /* slot 22, member id 0x60030009 */
static inline HRESULT _clsBCAT175_get_OutputCode(_clsBCAT175* This, VARIANT* pResult) { return This->lpVtbl->get_OutputCode(This, pResult); } /* slot 23, member id 0x68030000 */
static inline HRESULT _clsBCAT175_put_OutputCode(_clsBCAT175* This, VARIANT RHS) { return This->lpVtbl->put_OutputCode(This, RHS); } /* slot 24, member id 0x68030000 */
static inline HRESULT _clsBCAT175_Barcode39Draw(_clsBCAT175* This, BSTR* sBarCodeString, BSTR* sBottomString, IDispatch** oBarCodePic, VARIANT* pResult) { return This->lpVtbl->Barcode39Draw(This, sBarCodeString, sBottomString, oBarCodePic, pResult); } /* slot 25, member id 0x6003000A */
static inline HRESULT _clsBCAT175_Barcode128Draw(_clsBCAT175* This, BSTR* sBarCodeString, IDispatch** oBarCodePic, BSTR* sBottomString, LONG* lBackColor /* default 16777215 */, LONG* lForeColor /* default 0 */, OLE_COLOR* lColorConst /* optional */, SHORT* iAlign /* default 1 */, SHORT* iTextDisplay /* default 1 */, SHORT* iStyle /* default 2 */, SHORT* iFontSize /* default 10 */, BSTR* sFontName /* default "Courier New" */, SHORT* iBarHeight /* default 30 */, SHORT* iLeft /* default 10 */, SHORT* iTop /* default 10 */, VARIANT* pResult) { return This->lpVtbl->Barcode128Draw(This, sBarCodeString, oBarCodePic, sBottomString, lBackColor, lForeColor, lColorConst, iAlign, iTextDisplay, iStyle, iFontSize, sFontName, iBarHeight, iLeft, iTop, pResult); } /* slot 26, member id 0x6003000B */

/* _GIF: class GIF (CLSID_GIF, IID__GIF), slots from 7 */
static inline HRESULT _GIF_SaveGIF(_GIF* This, IDispatch* pic, BSTR sFileName, LONG* hDc /* default 0 */, VARIANT_BOOL* UseTrans /* default 0 */, LONG TransColor /* default 0 */, VARIANT_BOOL* pResult) { return This->lpVtbl->SaveGIF(This, pic, sFileName, hDc, UseTrans, TransColor, pResult); } /* slot 7, member id 0x60030001 */
static inline HRESULT _GIF_get_BestQuality(_GIF* This, VARIANT* pResult) { return This->lpVtbl->get_BestQuality(This, pResult); } /* slot 8, member id 0x68030000 */
static inline HRESULT _GIF_put_BestQuality(_GIF* This, VARIANT RHS) { return This->lpVtbl->put_BestQuality(This, RHS); } /* slot 9, member id 0x68030000 */
/* events of GIF (DIID___GIF), to a sink's Invoke:
 *   Progress, member id 1: Integer Percents (VT_I2)
 */

/* _cDIBSection: class cDIBSection (CLSID_cDIBSection, IID__cDIBSection), slots from 7 */
static inline HRESULT _cDIBSection_CopyToClipboard(_cDIBSection* This, VARIANT_BOOL bAsDIB /* default -1 */, VARIANT_BOOL* pResult) { return This->lpVtbl->CopyToClipboard(This, bAsDIB, pResult); } /* slot 7, member id 0x60030006 */
static inline HRESULT _cDIBSection_CreateDIB(_cDIBSection* This, LONG lHDC, LONG lWidth, LONG lheight, LONG* hDib, VARIANT_BOOL* pResult) { return This->lpVtbl->CreateDIB(This, lHDC, lWidth, lheight, hDib, pResult); } /* slot 8, member id 0x60030007 */
static inline HRESULT _cDIBSection_CreateFromPicture(_cDIBSection* This, IDispatch** picThis, VARIANT* pResult) { return This->lpVtbl->CreateFromPicture(This, picThis, pResult); } /* slot 9, member id 0x60030008 */
static inline HRESULT _cDIBSection_Create(_cDIBSection* This, LONG lWidth, LONG lheight, VARIANT_BOOL* pResult) { return This->lpVtbl->Create(This, lWidth, lheight, pResult); } /* slot 10, member id 0x60030009 */
static inline HRESULT _cDIBSection_get_BytesPerScanLine(_cDIBSection* This, LONG* pResult) { return This->lpVtbl->get_BytesPerScanLine(This, pResult); } /* slot 11, member id 0x68030005 */
static inline HRESULT _cDIBSection_get_Width(_cDIBSection* This, LONG* pResult) { return This->lpVtbl->get_Width(This, pResult); } /* slot 12, member id 0x68030004 */
static inline HRESULT _cDIBSection_get_Height(_cDIBSection* This, LONG* pResult) { return This->lpVtbl->get_Height(This, pResult); } /* slot 13, member id 0x68030003 */
static inline HRESULT _cDIBSection_LoadPictureBlt(_cDIBSection* This, LONG lHDC, LONG lSrcLeft /* default 0 */, LONG lSrcTop /* default 0 */, LONG lSrcWidth /* default -1 */, LONG lSrcHeight /* default -1 */, LONG eRop /* default 13369376 */) { return This->lpVtbl->LoadPictureBlt(This, lHDC, lSrcLeft, lSrcTop, lSrcWidth, lSrcHeight, eRop); } /* slot 14, member id 0x6003000A */
static inline HRESULT _cDIBSection_PaintPicture(_cDIBSection* This, LONG lHDC, LONG lDestLeft /* default 0 */, LONG lDestTop /* default 0 */, LONG lDestWidth /* default -1 */, LONG lDestHeight /* default -1 */, LONG lSrcLeft /* default 0 */, LONG lSrcTop /* default 0 */, LONG eRop /* default 13369376 */) { return This->lpVtbl->PaintPicture(This, lHDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, lSrcLeft, lSrcTop, eRop); } /* slot 15, member id 0x6003000B */
static inline HRESULT _cDIBSection_get_hDc(_cDIBSection* This, LONG* pResult) { return This->lpVtbl->get_hDc(This, pResult); } /* slot 16, member id 0x68030002 */
static inline HRESULT _cDIBSection_get_hDib(_cDIBSection* This, LONG* pResult) { return This->lpVtbl->get_hDib(This, pResult); } /* slot 17, member id 0x68030001 */
static inline HRESULT _cDIBSection_get_DIBSectionBitsPtr(_cDIBSection* This, LONG* pResult) { return This->lpVtbl->get_DIBSectionBitsPtr(This, pResult); } /* slot 18, member id 0x68030000 */
static inline HRESULT _cDIBSection_RandomiseBits(_cDIBSection* This, VARIANT_BOOL bGray /* default 0 */) { return This->lpVtbl->RandomiseBits(This, bGray); } /* slot 19, member id 0x6003000C */
static inline HRESULT _cDIBSection_ClearUp(_cDIBSection* This) { return This->lpVtbl->ClearUp(This); } /* slot 20, member id 0x6003000D */
static inline HRESULT _cDIBSection_Resample(_cDIBSection* This, LONG lNewHeight, LONG lNewWidth, struct _cDIBSection** pResult) { return This->lpVtbl->Resample(This, lNewHeight, lNewWidth, pResult); } /* slot 21, member id 0x6003000E */
static inline HRESULT _cDIBSection_SavePicture(_cDIBSection* This, BSTR sFileName, VARIANT_BOOL* pResult) { return This->lpVtbl->SavePicture(This, sFileName, pResult); } /* slot 22, member id 0x60030010 */
static inline HRESULT _cDIBSection_ApiError(_cDIBSection* This, LONG e, BSTR* pResult) { return This->lpVtbl->ApiError(This, e, pResult); } /* slot 23, member id 0x60030011 */

/* _cPalette: class cPalette (CLSID_cPalette, IID__cPalette), slots from 7 */
static inline HRESULT _cPalette_Add(_cPalette* This, BYTE Red, BYTE Green, BYTE Blue) { return This->lpVtbl->Add(This, Red, Green, Blue); } /* slot 7, member id 0x60030005 */
static inline HRESULT _cPalette_get_ClosestIndex(_cPalette* This, LONG Red, LONG Green, LONG Blue, LONG* pResult) { return This->lpVtbl->get_ClosestIndex(This, Red, Green, Blue, pResult); } /* slot 8, member id 0x68030004 */
static inline HRESULT _cPalette_get_Count(_cPalette* This, LONG* pResult) { return This->lpVtbl->get_Count(This, pResult); } /* slot 9, member id 0x68030003 */
static inline HRESULT _cPalette_get_Red(_cPalette* This, VARIANT iIndex, BYTE* pResult) { return This->lpVtbl->get_Red(This, iIndex, pResult); } /* slot 10, member id 0x68030002 */
static inline HRESULT _cPalette_get_Green(_cPalette* This, VARIANT iIndex, BYTE* pResult) { return This->lpVtbl->get_Green(This, iIndex, pResult); } /* slot 11, member id 0x68030001 */
static inline HRESULT _cPalette_get_Blue(_cPalette* This, VARIANT iIndex, BYTE* pResult) { return This->lpVtbl->get_Blue(This, iIndex, pResult); } /* slot 12, member id 0x68030000 */
static inline HRESULT _cPalette_CreateOptimal(_cPalette* This, _cDIBSection** cdib, LONG PalSize /* default 236 */, LONG nLevels /* default 6 */) { return This->lpVtbl->CreateOptimal(This, cdib, PalSize, nLevels); } /* slot 13, member id 0x60030006 */
static inline HRESULT _cPalette_EraseNodes(_cPalette* This) { return This->lpVtbl->EraseNodes(This); } /* slot 14, member id 0x60030009 */
static inline HRESULT _cPalette_Clear(_cPalette* This) { return This->lpVtbl->Clear(This); } /* slot 15, member id 0x6003000C */
static inline HRESULT _cPalette_Load(_cPalette* This, BSTR sFileName, LONG* lPosition /* optional */, VARIANT_BOOL* pResult) { return This->lpVtbl->Load(This, sFileName, lPosition, pResult); } /* slot 16, member id 0x6003000D */
static inline HRESULT _cPalette_Save(_cPalette* This, BSTR sFileName, LONG lPosition /* optional */, VARIANT_BOOL* pResult) { return This->lpVtbl->Save(This, sFileName, lPosition, pResult); } /* slot 17, member id 0x6003000E */
static inline HRESULT _cPalette_CreateWebSafe(_cPalette* This) { return This->lpVtbl->CreateWebSafe(This); } /* slot 18, member id 0x60030010 */
/* events of cPalette (DIID___cPalette), to a sink's Invoke:
 *   InitProgress, member id 1: Long Max (VT_I4)
 *   Progress, member id 2: Long lPosition (VT_I4)
 *   Complete, member id 3: Long lTimeMs (VT_I4)
 */

/* clang-format on */
#endif

#endif
