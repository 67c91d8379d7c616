#!/usr/bin/python3
"""Helper of bench_xls.
    bench_xls_workbook.py make PATH ROWS   writes a KU-shaped workbook with xlwt
    bench_xls_workbook.py read PATH        reads every cell with xlrd and prints
                                           the seconds spent reading (open + cells):
                                           wall clock, cell count, CPU time
"""
import datetime
import random
import sys
import time


def make(path, rows):
    import xlwt
    rnd = random.Random(20131)
    wb = xlwt.Workbook()
    ws = wb.add_sheet("KU")
    date = xlwt.easyxf(num_format_str="d.m.yyyy")
    head = ["FARMA", "DATUM", "LAKTACE", "LAKTACE_DEN", "DOJIVOST", "TUK", "BILKOVINA", "SB",
            "MOCOVINA", "DOJNICE", "LAKTOZA"]
    for c, h in enumerate(head):
        ws.write(0, c, h)
    base = datetime.date(2010, 1, 1)
    for r in range(1, rows + 1):
        ws.write(r, 0, 1 + rnd.randrange(9))
        ws.write(r, 1, base + datetime.timedelta(days=rnd.randrange(1800)), date)
        ws.write(r, 2, 1 + rnd.randrange(8))
        ws.write(r, 3, 5 + rnd.randrange(400))
        ws.write(r, 4, round(5 + rnd.random() * 40, 1))
        ws.write(r, 5, round(2.5 + rnd.random() * 3, 2))
        ws.write(r, 6, round(2.8 + rnd.random() * 1.5, 2))
        ws.write(r, 7, 20 + rnd.randrange(2000))
        ws.write(r, 8, round(10 + rnd.random() * 30, 1))
        ws.write(r, 9, "CZ%09d" % rnd.randrange(10 ** 9))
        ws.write(r, 10, round(4.2 + rnd.random() * 0.8, 2))
    wb.save(path)


def read(path):
    import xlrd
    t0 = time.perf_counter()
    c0 = time.process_time()
    book = xlrd.open_workbook(path)
    n = 0
    for sheet in book.sheets():
        for r in range(sheet.nrows):
            for v in sheet.row_values(r):
                n += 1
    t1 = time.perf_counter()
    c1 = time.process_time()
    print("%.6f %d %.6f" % (t1 - t0, n, c1 - c0))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]))
    else:
        read(sys.argv[2])
