' The classes of tavolin2.dll through the script host: created by programmatic
' name, called late-bound.  Run by scripts/test-windows.sh in the folder of its
' input files (tone.wav); prints one line per check and a summary line, which
' the test looks for (the script host does not report script errors itself).
Option Explicit
On Error Resume Next

Dim failures, fso
failures = 0
Set fso = CreateObject("Scripting.FileSystemObject")

Sub Check(ok, what)
    If ok Then
        WScript.Echo "ok   " & what
    Else
        WScript.Echo "FAIL " & what
        failures = failures + 1
    End If
End Sub

' A check that the statement before raised error n (and nothing else).
Sub CheckError(n, what)
    Dim got
    got = Err.Number
    WScript.Echo "     " & what & ": Err " & got & " """ & Err.Description & """ from " & Err.Source
    Check got = n, what & " raises error " & n
    Err.Clear
End Sub

' A wait on the clock (this script host has no WScript.Sleep).
Sub Pause(seconds)
    Dim t
    t = Timer
    Do While Timer < t + seconds And Timer >= t
    Loop
End Sub

' ---- every class by programmatic name ----
Dim progids, p, o
progids = Array("clsTavolin2", "clsQELPictureViewer", "clsQELCompany", "MP3Class", "MovieModule", _
                "clsBCAT175", "GIF", "cDIBSection", "cPalette")
For Each p In progids
    Set o = Nothing
    Set o = CreateObject("TAVOLIN2." & p)
    Check Err.Number = 0 And IsObject(o), "CreateObject(""TAVOLIN2." & p & """) is a " & TypeName(o)
    Err.Clear
Next
Set o = Nothing

' ---- vendor texts 900-921 from the string table resource ----
Dim company, i, text
Set company = CreateObject("TAVOLIN2.clsQELCompany")
For i = 900 To 921
    text = company.GetQELCompanyInformation(i)
    WScript.Echo "     vendor " & i & ": " & text
    Check Err.Number = 0 And VarType(text) = vbString And Len(text) > 0, "GetQELCompanyInformation(" & i & ")"
    Err.Clear
Next
Check company.GetQELCompanyInformation(901) = "QEL", "901 is QEL"
Check company.GetQELCompanyInformation(903) = "Quillmere Engineering Laboratories", "903 is the full name"
' 899 is no entry: the library shows its error box (which answers by itself where
' there is no display) and the call returns Empty without raising.
text = company.GetQELCompanyInformation(899)
Check Err.Number = 0 And IsEmpty(text), "GetQELCompanyInformation(899) shows the error box and returns Empty"
Err.Clear

' ---- conversions: the runtime's errors with the library's numbers and texts ----
Dim bc
Set bc = CreateObject("TAVOLIN2.clsBCAT175")
bc.Length = "2.5"
Check Err.Number = 0 And bc.Length = 2, """2.5"" to an Integer is 2 (half to even)"
Err.Clear
bc.Length = 40000
CheckError 6, "40000 to an Integer"
Dim dib
Set dib = CreateObject("TAVOLIN2.cDIBSection")
dib.Create "wide", 10
CheckError 13, "a text to a Long"

' ---- cDIBSection ----
Dim ok, small
ok = dib.Create(64, 32)
Check Err.Number = 0 And ok, "cDIBSection.Create(64, 32)"
Check dib.Width = 64 And dib.Height = 32 And dib.BytesPerScanLine = 192, "64 x 32, 192 bytes a line"
Check dib.hDib <> 0 And dib.hDc <> 0, "a section handle and a device context"
dib.RandomiseBits False
Set small = dib.Resample(16, 8)
Check Err.Number = 0 And small.Width = 8 And small.Height = 16, "Resample(16, 8) is 8 wide and 16 high"
Err.Clear
If fso.FileExists("vbs.bmp") Then fso.DeleteFile "vbs.bmp"
ok = dib.SavePicture("vbs.bmp")
Check Err.Number = 0 And ok, "SavePicture(""vbs.bmp"")"
Check fso.FileExists("vbs.bmp"), "vbs.bmp written"
If fso.FileExists("vbs.bmp") Then Check fso.GetFile("vbs.bmp").Size = 54 + 192 * 32, "vbs.bmp is 54 + 192 x 32 bytes"
Err.Clear

' A failed save keeps the target: a read-only file stays as it was, a missing
' folder is error 17, each with the platform's text of its system error.
Dim ro
If fso.FileExists("ro.bmp") Then fso.GetFile("ro.bmp").Attributes = 0: fso.DeleteFile "ro.bmp"
Set ro = fso.CreateTextFile("ro.bmp", True)
ro.Write "kept"
ro.Close
fso.GetFile("ro.bmp").Attributes = 1
dib.SavePicture "ro.bmp"
CheckError 17, "SavePicture over a read-only file"
Check fso.GetFile("ro.bmp").Size = 4, "the read-only file is kept as it was"
fso.GetFile("ro.bmp").Attributes = 0
fso.DeleteFile "ro.bmp"
dib.SavePicture "no such folder\x.bmp"
CheckError 17, "SavePicture into a missing folder"
Check Not fso.FolderExists("no such folder"), "no folder is made"
Err.Clear

' ---- cPalette ----
Dim pal, pal2, idx, same
Set pal = CreateObject("TAVOLIN2.cPalette")
pal.CreateWebSafe
Check Err.Number = 0 And pal.Count = 256, "CreateWebSafe gives 256 entries"
idx = pal.ClosestIndex(250, 10, 10)
Check pal.Red(idx) = 255 And pal.Green(idx) = 0 And pal.Blue(idx) = 0, "ClosestIndex(250, 10, 10) is pure red (" & idx & ")"
idx = pal.ClosestIndex(0, 0, 0)
Check pal.Red(idx) = 0 And pal.Green(idx) = 0 And pal.Blue(idx) = 0, "ClosestIndex(0, 0, 0) is black (" & idx & ")"
If fso.FileExists("vbs.pal") Then fso.DeleteFile "vbs.pal"
Check pal.Save("vbs.pal"), "cPalette.Save(""vbs.pal"")"
Set pal2 = CreateObject("TAVOLIN2.cPalette")
Check pal2.Load("vbs.pal"), "cPalette.Load(""vbs.pal"")"
same = (pal2.Count = pal.Count)
For i = 1 To pal.Count
    If pal2.Red(i) <> pal.Red(i) Or pal2.Green(i) <> pal.Green(i) Or pal2.Blue(i) <> pal.Blue(i) Then same = False
Next
Check Err.Number = 0 And same, "the loaded palette has the saved entries"
Err.Clear

' ---- GIF.SaveGIF of a picture, with and without BestQuality ----
' The picture is the platform's picture object of in.bmp, made by the test's
' loader; the files are compared with the Linux build's by the test.
Dim gif, pic, loader
Set loader = CreateObject("T2Test.Pictures")
Set pic = loader.Load("in.bmp")
Check Err.Number = 0 And IsObject(pic), "a picture object of in.bmp"
Err.Clear
Set gif = CreateObject("TAVOLIN2.GIF")
Check gif.BestQuality = False, "BestQuality starts False"
ok = gif.SaveGIF(pic, "vbs.gif")
Check Err.Number = 0 And ok, "GIF.SaveGIF with the fixed table"
Err.Clear
gif.BestQuality = True
Check gif.BestQuality = True, "BestQuality is True"
ok = gif.SaveGIF(pic, "vbs-best.gif")
Check Err.Number = 0 And ok, "GIF.SaveGIF with BestQuality"
Err.Clear
Check fso.FileExists("vbs.gif") And fso.FileExists("vbs-best.gif"), "both GIF files written"
' A section made from the same picture, saved: the test compares it too.
Dim fromPic
Set fromPic = CreateObject("TAVOLIN2.cDIBSection")
fromPic.CreateFromPicture pic
Check Err.Number = 0 And fromPic.SavePicture("vbs-pic.bmp"), "CreateFromPicture and SavePicture"
Err.Clear

' ---- the barcode text model ----
bc.ClearAll
bc.InputString = "HELLO 128"
WScript.Echo "     barcode: Length " & bc.Length & ", First " & bc.FirstCharacter & ", Last " & bc.LastCharacter & _
             ", Guess " & bc.GuessInputString
Check Err.Number = 0, "the barcode text model answers"
Err.Clear

' ---- media: a one-second WAV through the platform's media control interface ----
' MP3Class opens it by name (the waveaudio device, which reads the length with
' no sound device); MovieModule through the mpegvideo device, which needs one:
' the test passes "sound" when it runs a sound server with a null sink.
Dim mp3, movie, length, position, sound
sound = WScript.Arguments.Count > 0
If sound Then sound = (WScript.Arguments(0) = "sound")
Set mp3 = CreateObject("TAVOLIN2.MP3Class")
mp3.MP3File = fso.GetAbsolutePathName("tone.wav")
length = mp3.MP3DurationInMs
WScript.Echo "     MP3Class: duration " & length & " ms, " & mp3.MP3DurationInSec & " s, position " & mp3.MP3PositionInMS
Check Err.Number = 0 And CLng(length) = 1000, "MP3Class reads the length of a one-second WAV"
Check CLng(mp3.MP3PositionInMS) = 0, "MP3Class: position 0 before playing"
Err.Clear
Set movie = CreateObject("TAVOLIN2.MovieModule")
movie.Filename = fso.GetAbsolutePathName("tone.wav")
movie.openMovie
If sound Then
    Check Err.Number = 0 And movie.Error = 0, "MovieModule opens the WAV (mpegvideo)"
    Check movie.getLengthInMS = 1000 And movie.getLengthInSec = 1, "MovieModule: length 1000 ms, 1 s"
    Check movie.getPositionInMS = 0, "MovieModule: position 0 before playing"
    movie.playMovie
    Pause 0.4
    position = movie.getPositionInMS
    WScript.Echo "     MovieModule: position " & position & " ms after 400 ms of playing, status " & movie.getStatus
    Check position > 0 And position <= 1000, "MovieModule: the position moves while it plays"
    movie.stopMovie
    mp3.MP3Play
    Pause 0.4
    position = mp3.MP3PositionInMS
    WScript.Echo "     MP3Class: position " & position & " ms after 400 ms of playing, playing " & mp3.MP3Playing
    Check CLng(position) > 0, "MP3Class: the position moves while it plays"
    mp3.MP3Stop
Else
    WScript.Echo "     MovieModule: no sound device; error " & movie.Error & ": " & Trim(movie.checkError)
    Check movie.Error <> 0, "MovieModule reports the device's error without a sound device"
End If
Err.Clear
movie.closeMovie
Check Err.Number = 0, "the media channels close"
Err.Clear

WScript.Echo "vbscript: " & failures & " failure(s)"
