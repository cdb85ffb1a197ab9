#!/usr/bin/python3
"""tavolin2 from Python: a picture to GIF with a progress bar, a Code 128
PNG, a play list written and read.

    example.py OUT_DIR [PICTURE]
"""
import sys

import tavolin2


class Progress:
    def OnProgress(self, percents):
        bar = "#" * (percents * 30 // 100)
        print(f"\r[{bar:<30}] {percents:3d}%", end="\n" if percents >= 100 else "", file=sys.stderr)


def picture_to_gif(folder, picture_file=None):
    if picture_file:
        picture = tavolin2.LoadPicture(picture_file)
    else:
        box = tavolin2.PictureBox(160, 120)
        box.Line(6, 20, 20, 100, 80, 0xFF0000)  # a filled blue box (colours are 0xBBGGRR)
        box.Line(0, 0, 119, 159, 0, 0x0000FF)   # a red line
        picture = box.Image
    gif = tavolin2.DispatchWithEvents("TAVOLIN2.GIF", Progress)
    gif.BestQuality = True
    out = f"{folder}/picture.gif"
    if not gif.SaveGIF(picture, out):
        raise SystemExit(f"{out} was not written")
    print(out)


def code128_png(folder):
    box = tavolin2.PictureBox(260, 90)
    barcode = tavolin2.Dispatch("TAVOLIN2.clsBCAT175")
    barcode.Barcode128Draw("TAVOLIN2-128", box, "TAVOLIN2-128", iAlign=2, iBarHeight=40)
    out = f"{folder}/code128.png"
    tavolin2.SavePicture(box, out)
    print(out)


def play_list(folder):
    out = f"{folder}/list.m3u"
    player = tavolin2.Dispatch("TAVOLIN2.MP3Class")
    player.MP3SavePlayList(out, tavolin2.ListBox(["intro.mp3", "C:\\Music\\song.mp3", "outro.wav"]))
    back = tavolin2.ListBox()
    player.MP3OpenPlayList(out, back)
    for i in range(back.ListCount):
        print("  " + back.List(i))
    print(f"{out}: {back.ListCount} entries")


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(f"usage: {sys.argv[0]} OUT_DIR [PICTURE]")
    try:
        picture_to_gif(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None)
        code128_png(sys.argv[1])
        play_list(sys.argv[1])
    except tavolin2.ComError as e:
        raise SystemExit(f"error {e.number}: {e.description}")


if __name__ == "__main__":
    main()
