#!/usr/bin/python3
"""OpenCV matchTemplate (TM_CCOEFF_NORMED) on the grid of bench_correlate's sweep: grey float
images of 512^2 to 4096^2 and square templates of side 4 to 256. Given the path of the
bench_correlate program, runs its sweep in the same minutes and prints both times and their ratio.
Needs: apt-get install python3-opencv (on your machine only; never a project dependency).
Usage: peers_correlate.py [build/bench/bench_correlate]
"""
import json, subprocess, sys, time, numpy as np, cv2
cv2.setNumThreads(2)
def t(f, n=3):
    f(); xs=[]
    for _ in range(n):
        a=time.perf_counter(); f(); xs.append(time.perf_counter()-a)
    return sorted(xs)[len(xs)//2]*1e3
sizes=[512,1024,2048,4096]; sides=[4,8,16,32,64,128,256]
rng=np.random.default_rng(1)
peer={}
for n in sizes:
    img=rng.random((n,n),dtype=np.float32)*255
    for s in sides:
        tpl=rng.random((s,s),dtype=np.float32)*255
        peer[(n,s)]=t(lambda: cv2.matchTemplate(img,tpl,cv2.TM_CCOEFF_NORMED), n=3 if n<4096 else 2)
ours={}
if len(sys.argv)>1:
    r=subprocess.run([sys.argv[1],'--benchmark_filter=correlate/sweep','--benchmark_format=json'],
                     capture_output=True,text=True,check=True)
    for b in json.loads(r.stdout)['benchmarks']:
        _,_,n,s=b['name'].split('/')[:4]
        ours[(int(n),int(s))]=b['real_time']
print("size\tside\tours_ms\topencv_ms\tratio")
for n in sizes:
    for s in sides:
        o=ours.get((n,s))
        print(f"{n}\t{s}\t{o:.2f}\t{peer[(n,s)]:.2f}\t{o/peer[(n,s)]:.2f}" if o else f"{n}\t{s}\t-\t{peer[(n,s)]:.2f}\t-")
