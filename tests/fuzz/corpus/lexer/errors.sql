SELECT ((((a)))) + -1*2/3 - 4 FROM t WHERE a<=b OR c<d OR e>f OR g=h;
12abc; SELECT 'unterminated